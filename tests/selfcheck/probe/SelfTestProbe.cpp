#include "selfcheck/Check.h"
#include "selfcheck/SelfTestMode.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include <QFile>

// The real self-test mode over a table of its own: a check that holds, a
// deliberately wrong one about the document's history, and a suite that must
// never run. The test that starts it reads the run's root from the file
// named by PROBE_ROOT_NOTE.
int main(int argc, char *argv[]) {
  using namespace crel;
  const NativeTests::SuiteTable suites{
      {"Holds",
       [](NativeTests::SuiteContext &context) {
         NativeTests::expect(context.driverDocument().pixelSize() == QSize(800, 600),
                             QStringLiteral("Probe document keeps the fixture's size"));
       }},
      {"Failing",
       [](NativeTests::SuiteContext &context) {
         QFile note(qEnvironmentVariable("PROBE_ROOT_NOTE"));
         if (note.open(QIODevice::WriteOnly))
           note.write(context.root().path().toUtf8());
         CrelDocument &document = context.driverDocument();
         for (int i = 0; i < 120; ++i) {
           Mark mark;
           mark.id = QUuid::createUuid();
           document.commit(document.marks() + QList<Mark>{mark});
         }
         NativeTests::expect(document.history().size() == 99, QStringLiteral("Undo history is capped at 99 steps"));
       }},
      {"After",
       [](NativeTests::SuiteContext &) { NativeTests::pass(QStringLiteral("A suite after the failure ran")); }},
  };
  return SelfTestMode::exec(argc, argv, suites);
}
