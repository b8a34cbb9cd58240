#include "link/stage_text.h"

#include <QCoreApplication>

namespace quarn {

// Through the catalogue of the program that loaded one (the station,
// quarn-flash); the download window loads none and keeps these words.
QString stageText(LinkStage stage, int answered, int total) {
    switch (stage) {
        case LinkStage::Idle:
            return QCoreApplication::translate("StageText", "opening");
        case LinkStage::QuietLine:
            return QCoreApplication::translate("StageText", "quiet line");
        case LinkStage::Handshake:
            return QCoreApplication::translate("StageText", "handshake");
        case LinkStage::Pause:
            return QCoreApplication::translate("StageText", "pause");
        case LinkStage::Login:
            return QCoreApplication::translate("StageText", "login");
        case LinkStage::Transfer:
            return QCoreApplication::translate("StageText", "block %1 of %2")
                .arg(qMin(answered + 1, total))
                .arg(total);
        case LinkStage::Done:
            return QCoreApplication::translate("StageText", "done");
    }
    return QString();
}

}  // namespace quarn
