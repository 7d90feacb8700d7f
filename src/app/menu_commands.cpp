#include "app/menu_commands.h"

#include "app/app_state.h"
#include "app/document_workflow.h"
#include "core/playout_engine.h"
#include "core/rundown.h"

namespace velmar {

namespace {

void call(const std::function<void()>& f) {
    if (f) f();
}

}  // namespace

MenuCommands::MenuCommands(AppState& app, DocumentWorkflow& document, Windows windows)
    : app_(app), document_(document), windows_(std::move(windows)) {}

void MenuCommands::run(const MenuDescription::Item& item) {
    using Command = MenuDescription::Command;
    PlayoutEngine& engine = app_.engine();
    Rundown& rundown = engine.rundown();
    switch (item.command) {
        case Command::openProject:
            document_.openProject();
            break;
        case Command::saveProject:
            document_.saveProject();
            break;
        case Command::saveProjectAs:
            document_.saveProjectAs();
            break;
        case Command::importMedia:
            document_.presentAddClips(DocumentWorkflow::AddPanelKind::files);
            break;
        case Command::importFolder:
            document_.presentAddClips(DocumentWorkflow::AddPanelKind::folder);
            break;
        case Command::replaceMedia:
            document_.replaceCursorClip();
            break;
        case Command::selectAll:
            rundown.selectAllInTab();
            break;
        case Command::deselectAll:
            rundown.setReorderSelection({}, std::nullopt);
            break;
        case Command::moveSelectionLeft:
        case Command::moveSelectionRight:
            if (const auto clip = rundown.selectedClip()) {
                rundown.nudge(rundown.targetIDs(clip->id),
                              MenuDescription::nudgeStep(item.command == Command::moveSelectionLeft,
                                                         app_.stripRightToLeft()));
            }
            break;
        case Command::deleteSelection:
            rundown.deleteSelection();
            break;
        case Command::filterByName:
            app_.setFilterRequestToken(app_.filterRequestToken() + 1);
            break;
        case Command::durationEditorCursor:
            app_.openDurationEditor(AppState::DurationEditor::cursor);
            break;
        case Command::durationEditorBulk:
            app_.openDurationEditor(AppState::DurationEditor::bulk);
            break;
        case Command::setMotion:
            rundown.setMotion(item.motion, rundown.motionTargetIDs());
            break;
        case Command::toggleSDI:
            if (app_.isDeckLinkRunning()) {
                app_.stopDeckLink();
            } else {
                app_.startDeckLink();
            }
            break;
        case Command::toggleSubMonitor:
            app_.toggleOutput();
            break;
        case Command::showPreflight:
            call(windows_.showPreflight);
            break;
        case Command::toggleSignalMonitor:
            call(windows_.toggleSignalMonitor);
            break;
        case Command::revealLog:
            call(windows_.revealLog);
            break;
        case Command::revealBackups:
            document_.revealBackups();
            break;
        case Command::previousTab:
            rundown.cycleGroup(false);
            break;
        case Command::nextTab:
            rundown.cycleGroup(true);
            break;
        case Command::panicOff:
            engine.panicOff();
            break;
        case Command::addTab:
            rundown.addGroup(
                MenuDescription::newTabName(static_cast<int>(rundown.groups().size())));
            break;
        case Command::showManual:
            call(windows_.showManual);
            break;
        case Command::showSettings:
            call(windows_.showSettings);
            break;
        case Command::quit:
            call(windows_.quit);
            break;
    }
}

}  // namespace velmar
