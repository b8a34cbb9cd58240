#pragma once
// The cue at the end of a batch: when the last running slot ends, one
// sound (the window gives the desktop's bell), unless the settings file says
// [station] sound=false. Counted, so that a test sees each cue without
// hearing it.

#include <QObject>
#include <functional>

namespace quarn {
class Settings;
}

namespace quarn::station {

// [station] sound in settings: true unless it says false.
bool soundWanted(const Settings& settings);

class BatchCue : public QObject {
    Q_OBJECT
public:
    BatchCue(bool enabled, std::function<void()> sound, QObject* parent = nullptr);
    // The batch ended: the sound once, when enabled.
    void batchEnded();
    int played() const { return played_; }
    bool enabled() const { return enabled_; }

signals:
    void cue();

private:
    bool enabled_;
    std::function<void()> sound_;
    int played_ = 0;
};

}  // namespace quarn::station
