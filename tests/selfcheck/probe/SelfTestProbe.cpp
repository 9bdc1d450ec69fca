#include "selfcheck/Check.h"
#include "selfcheck/SelfTestMode.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include <QFile>

// The real self-test mode with a deliberately wrong check placed after the
// product's suites, to show how the run reports a failure. The test that
// starts it reads the run's root from the file named by PROBE_ROOT_NOTE.
int main(int argc, char *argv[]) {
  using namespace crel;
  NativeTests::SuiteTable suites = NativeTests::suiteTable();
  suites.push_back({"Failing", [](NativeTests::SuiteContext &context) {
                      QFile note(qEnvironmentVariable("PROBE_ROOT_NOTE"));
                      if (note.open(QIODevice::WriteOnly))
                        note.write(context.root().path().toUtf8());
                      CrelDocument document(context.image(), AnnotationPreferences::shared());
                      for (int i = 0; i < 120; ++i) {
                        Mark mark;
                        mark.id = QUuid::createUuid();
                        document.commit(document.marks() + QList<Mark>{mark});
                      }
                      NativeTests::expect(document.history().size() == 99,
                                          QStringLiteral("Undo history is capped at 99 steps"));
                    }});
  suites.push_back({"After", [](NativeTests::SuiteContext &) {
                      NativeTests::pass(QStringLiteral("A suite after the failure ran"));
                    }});
  return SelfTestMode::exec(argc, argv, suites);
}
