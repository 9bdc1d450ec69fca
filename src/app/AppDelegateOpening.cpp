// The file-opening road of AppDelegate: the open panel, and images opened
// from it, from a launch or from another instance.
#include "AppDelegate.h"

#include "ImageOpenPanel.h"
#include "capture/CaptureSource.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"

#include <QFileDialog>
#include <QFileInfo>

namespace crel {

std::unique_ptr<QFileDialog> AppDelegate::makeImageOpenPanel(const QString &directory) {
  return ImageOpenPanel::make(directory);
}

void AppDelegate::openImage() {
  if (openPanel_) {
    WindowRegistry::present(*openPanel_);
    return;
  }
  QFileDialog *panel = nullptr;
  try {
    panel = makeImageOpenPanel(services_.picturesFolder).release();
  } catch (...) {
    report(std::current_exception());
    return;
  }
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setWindowModality(Qt::ApplicationModal);
  connect(panel, &QFileDialog::fileSelected, this, [this](const QString &path) { openImageFile(path); });
  openPanel_ = panel;
  panel->open();
}

bool AppDelegate::openFiles(const QStringList &paths, qsizetype notOpened) {
  ImageOpening::Budget budget(services_.memoryRoom, largestCanvas());
  std::vector<ImageOpening::Outcome> outcomes;
  for (const QString &path : paths)
    outcomes.push_back(services_.readImage ? services_.readImage(path, budget) : ImageOpening::open(path, &budget));
  return showOpened(paths, outcomes, notOpened);
}

void AppDelegate::openFilesInBackground(const QStringList &paths, qsizetype notOpened,
                                        const std::function<void(bool)> &done) {
  ImageOpening::openInBackground(paths, this, services_.readImage, services_.memoryRoom, largestCanvas(),
                                 [this, paths, notOpened, done](const std::vector<ImageOpening::Outcome> &outcomes) {
                                   const bool any = showOpened(paths, outcomes, notOpened);
                                   if (done)
                                     done(any);
                                 });
}

bool AppDelegate::showOpened(const QStringList &paths, const std::vector<ImageOpening::Outcome> &outcomes,
                             qsizetype notOpened) {
  return showOpened(openOutcomes(paths, outcomes, notOpened));
}

AppDelegate::Opened AppDelegate::openOutcomes(const QStringList &paths,
                                              const std::vector<ImageOpening::Outcome> &outcomes, qsizetype notOpened) {
  QList<ImageOpening::Failure> failures;
  EditorController *last = nullptr;
  for (size_t i = 0; i < outcomes.size() && i < size_t(paths.size()); ++i) {
    const QString &path = paths[qsizetype(i)];
    if (outcomes[i].problem) {
      failures.append({path, *outcomes[i].problem, outcomes[i].format});
      continue;
    }
    try {
      last = &showEditor(outcomes[i].image, CaptureSource{{}, QFileInfo(path).completeBaseName()});
    } catch (const std::bad_alloc &) {
      failures.append({path, ImageOpening::Problem::noMemory, outcomes[i].format});
    }
  }
  if (failures.isEmpty() && notOpened == 0)
    return {last, {}};
  return {last, ImageOpening::failureMessage(failures, notOpened, !editors_.empty())};
}

bool AppDelegate::showOpened(const Opened &opened) {
  // What the request opened last is what the user looks at, and the
  // request's one alert is about it: a sheet on that editor, not on the
  // window that was key before. Without one, the window the launch showed.
  if (opened.last)
    opened.last->present();
  if (!opened.problem.isEmpty())
    report(opened.problem, opened.last ? opened.last->window() : nullptr);
  return opened.last != nullptr;
}

bool AppDelegate::openImageFile(const QString &path) { return openFiles({path}); }

} // namespace crel
