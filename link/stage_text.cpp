#include "link/stage_text.h"

#include <QCoreApplication>

namespace quarn {

// Through the catalogue of the program that loaded one (the station,
// quarn-flash); the download window loads none and keeps these words.
QString stageText(LinkStage stage, int answered, int total) {
    const auto tr = [](const char* text) { return QCoreApplication::translate("StageText", text); };
    switch (stage) {
        case LinkStage::Idle:
            return tr("opening");
        case LinkStage::QuietLine:
            return tr("quiet line");
        case LinkStage::Handshake:
            return tr("handshake");
        case LinkStage::Pause:
            return tr("pause");
        case LinkStage::Login:
            return tr("login");
        case LinkStage::Transfer:
            return tr("block %1 of %2").arg(qMin(answered + 1, total)).arg(total);
        case LinkStage::Done:
            return tr("done");
    }
    return QString();
}

}  // namespace quarn
