#include "station/batch_cue.h"

#include "core/settings.h"

namespace quarn::station {

bool soundWanted(const Settings& settings) {
    return settings.value(SettingKey::StationSound).toBool();
}

BatchCue::BatchCue(bool enabled, std::function<void()> sound, QObject* parent)
    : QObject(parent), enabled_(enabled), sound_(std::move(sound)) {}

void BatchCue::batchEnded() {
    if (!enabled_) return;
    ++played_;
    if (sound_) sound_();
    emit cue();
}

}  // namespace quarn::station
