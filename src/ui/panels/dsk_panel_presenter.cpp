#include "ui/panels/dsk_panel_presenter.h"

#include "core/dsk_controller.h"
#include "models/localized.h"

#include <QFileInfo>

namespace velmar {

DSKPanelPresenter::Inputs DSKPanelPresenter::inputs(const DSKController& dsk) {
    Inputs in;
    in.isActive = dsk.isActive();
    if (dsk.sourceURL()) {
        in.sourcePath = dsk.sourceURL()->isLocalFile() ? dsk.sourceURL()->toLocalFile()
                                                       : dsk.sourceURL()->toString();
    }
    if (const auto& media = dsk.media()) {
        if (const ImageRef* still = media->asStill()) {
            in.media = MediaKind::still;
            in.hasPicture = *still != nullptr;
        } else if (const PlayoutMedia::Movie* movie = media->asMovie()) {
            in.media = MediaKind::movie;
            in.hasPicture = movie->poster != nullptr;
        }
    }
    in.isLoading = dsk.isLoading();
    in.loops = dsk.loops();
    in.errorMessage = dsk.errorMessage();
    in.countLabel = dsk.countLabel();
    return in;
}

DSKPanelPresenter::State DSKPanelPresenter::present(const Inputs& in) {
    State s;
    s.onAir = in.isActive;
    s.status = in.isActive ? localized("ON AIR") : localized("OFF");
    s.showsPicture = in.media != MediaKind::none && in.hasPicture;
    s.showsSpinner = in.isLoading;
    s.count = in.countLabel;
    if (in.sourcePath) {
        s.name = QFileInfo(*in.sourcePath).fileName();
        s.nameHelp = *in.sourcePath;
    } else {
        s.name = localized("素材未選択");
    }
    s.chooseEnabled = !in.isActive;
    s.clearEnabled = !in.isActive && in.sourcePath.has_value();
    s.showsLoopGroup = in.media == MediaKind::movie;
    s.loopLit = in.loops;
    s.loopText = in.loops ? localized("繰り返し再生") : localized("最終フレームで停止");
    s.error = in.errorMessage;
    return s;
}

}  // namespace velmar
