#include "SuiteTable.h"

#include "AutosaveChecks.h"
#include "BlurTests.h"
#include "CanvasInputChecks.h"
#include "CaptureTests.h"
#include "ColorInspectionTests.h"
#include "DraftRenderingTests.h"
#include "DriverChecks.h"
#include "EditingTests.h"
#include "EditorRoutingTests.h"
#include "EditorSizeTests.h"
#include "LaunchAtLoginTests.h"
#include "MemoryTests.h"
#include "RotationTests.h"
#include "StorageTests.h"
#include "StyleCanvasTests.h"
#include "UpdateTests.h"
#include "WindowPresentationTests.h"

namespace crel::NativeTests {

// The order is part of the product's output and never changes. A suite joins
// at its numbered place when it is built; until then its line stays a comment.
const SuiteTable &suiteTable() {
  static const SuiteTable table{
      // Driver's own checks: document and export, per-tool round trip, move
      // and redo branch, save and dirty state, pasteboard, capture geometry,
      // permission errors, global hot key.
      {"Driver", driverChecks},
      //  1 Autosave and naming
      {"Autosave", [](SuiteContext &c) { autosaveChecks(c.image(), c.root()); }},
      //  2 Storage
      {"Storage", [](SuiteContext &c) { StorageTests::run(c.image(), c.root()); }},
      //  3 Canvas input and inline text
      {"CanvasInput", [](SuiteContext &c) { canvasInputChecks(c.image(), c.root()); }},
      //  4 Updates
      {"Updates", [](SuiteContext &c) { UpdateTests::run(c.image(), c.root()); }},
      //  5 Styles, arrows, canvas growth, update recovery and stage
      {"StyleCanvas", [](SuiteContext &c) { StyleCanvasTests::run(c.image(), c.root()); }},
      //  6 Editor sizes
      {"EditorSize", [](SuiteContext &c) { EditorSizeTests::run(c.image(), c.root()); }},
      //  7 Editor routing
      {"EditorRouting", [](SuiteContext &c) { EditorRoutingTests::run(c.image(), c.root()); }},
      //  8 Login item
      {"LaunchAtLogin", [](SuiteContext &c) { LaunchAtLoginTests::run(c.root()); }},
      //  9 Window presentation
      {"WindowPresentation", [](SuiteContext &c) { WindowPresentationTests::run(c.image(), c.root()); }},
      // 10 Draft rendering
      {"DraftRendering", [](SuiteContext &c) { DraftRenderingTests::run(c.image(), c.root()); }},
      // 11 Editing, then text recognition
      {"Editing", [](SuiteContext &c) { EditingTests::run(c.image(), c.root()); }},
      // 12 Blur
      {"Blur", [](SuiteContext &c) { BlurTests::run(c.root()); }},
      // 13 Rotation
      {"Rotation", [](SuiteContext &c) { RotationTests::run(c.image(), c.root()); }},
      // 14 Colour inspection
      {"ColorInspection", [](SuiteContext &c) { ColorInspectionTests::run(c.root()); }},
      // 15 Capture
      {"Capture", [](SuiteContext &) { CaptureTests::run(); }},
      // 16 Memory
      {"Memory", [](SuiteContext &c) { MemoryTests::run(c.root()); }},
      // Driver's closing check: one synthetic hot-key event against the
      // manager its hot-key checks left registered.
      {"Driver", driverHotKeyEvent},
  };
  return table;
}

} // namespace crel::NativeTests
