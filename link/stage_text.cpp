#include "link/stage_text.h"

namespace quarn {

QString stageText(LinkStage stage, int answered, int total) {
    switch (stage) {
        case LinkStage::Idle:
            return QStringLiteral("opening");
        case LinkStage::QuietLine:
            return QStringLiteral("quiet line");
        case LinkStage::Handshake:
            return QStringLiteral("handshake");
        case LinkStage::Pause:
            return QStringLiteral("pause");
        case LinkStage::Login:
            return QStringLiteral("login");
        case LinkStage::Transfer:
            return QStringLiteral("block %1 of %2").arg(qMin(answered + 1, total)).arg(total);
        case LinkStage::Done:
            return QStringLiteral("done");
    }
    return QString();
}

}  // namespace quarn
