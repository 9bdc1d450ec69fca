#include "acceptance/Fixture.h"
#include "acceptance/NativeAcceptance.h"
#include "acceptance/PreviewModes.h"
#include "acceptance/UpdateAcceptance.h"
#include "app/ShellModes.h"
#include "app/UpdaterService.h"
#include "platform/clipboard/Pasteboard.h"
#include "selfcheck/SelfTestMode.h"
#include "update/framework/UpdateInstaller.h"

using namespace crel;

// What each launch mode runs; LaunchMode.h gives the order in which they are
// chosen.
int main(int argc, char *argv[]) {
  const ModeTable modes{
      {LaunchMode::fixture,
       [](LaunchContext &c) {
         c.application();
         return acceptance::runFixture();
       }},
      {LaunchMode::selfTest, [](LaunchContext &c) { return SelfTestMode::exec(c.argc(), c.argv()); }},
      {LaunchMode::renderStyles, PreviewModes::renderStyles},
      {LaunchMode::exportArrowSvg, PreviewModes::exportArrowSvg},
      {LaunchMode::renderEditor, PreviewModes::renderEditor},
      {LaunchMode::captureEditorLive, PreviewModes::captureEditorLive},
      {LaunchMode::renderSettings, PreviewModes::renderSettings},
      {LaunchMode::diagnostics, ShellModes::printDiagnostics},
      {LaunchMode::permissionDiagnostics, ShellModes::printPermissionDiagnostics},
      {LaunchMode::updateInstaller,
       [](LaunchContext &c) { return update::UpdateInstaller::runHelper(c.choice().path); }},
      {LaunchMode::application,
       [](LaunchContext &c) {
         const int status = ShellModes::runApplication(
             c, NativeAcceptance::run,
             [](AppDelegate &delegate, UpdaterService &updates, const QString &folder, const QString &scenario) {
               acceptance::UpdateAcceptance::run(delegate, updates.controller(), folder, scenario);
             });
         // A program still reading a paste would get a cut-off image when the
         // process ends: it reads on while it progresses, now that the
         // instance is gone and a new launch becomes the next one.
         Pasteboard::finishPastes();
         return status;
       }},
  };
  return launch(argc, argv, modes);
}
