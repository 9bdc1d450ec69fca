#include "InspectorActions.h"

#include "document/CrelDocument.h"

namespace crel::InspectorActions {

namespace {

template <class Enum> Enum raw(double value) { return static_cast<Enum>(int(value)); }

void setMode(CrelDocument &d, void (CrelDocument::*assign)(HighlightMode), HighlightMode mode, MarkTool tool) {
  (d.*assign)(mode);
  d.setSelection(std::nullopt);
  d.setTool(tool);
}

} // namespace

void perform(CrelDocument &d, const InspectorAction &a, Pasteboard &pasteboard) {
  using K = InspectorAction::Kind;
  switch (a.kind) {
  case K::none:
  case K::openCustomInk: break;
  case K::setInk: d.setInk(a.ink); break;
  case K::setStroke: d.setStroke(a.value); break;
  case K::setFontSize: d.setFontSize(a.value); break;
  case K::setArrowHeadScale: d.setArrowHeadScale(a.value); break;
  case K::setHighlightMode:
    setMode(d, &CrelDocument::setHighlightMode, raw<HighlightMode>(a.value), MarkTool::highlight);
    break;
  case K::setRedactMode: setMode(d, &CrelDocument::setRedactMode, raw<HighlightMode>(a.value), MarkTool::redact); break;
  case K::setBlurMode: setMode(d, &CrelDocument::setBlurMode, raw<HighlightMode>(a.value), MarkTool::blur); break;
  case K::setBlurEffect: d.setBlur(raw<BlurEffect>(a.value), std::nullopt); break;
  case K::setBlurStrength: d.setBlur(std::nullopt, a.value); break;
  case K::setHighlightOpacity: d.setHighlightOpacity(a.value); break;
  case K::selectAllWords: d.setSelectedWords(d.availableText().words); break;
  case K::copyRecognizedText: d.copyRecognizedText(pasteboard); break;
  case K::selectTool: d.selectTool(raw<MarkTool>(a.value)); break;
  case K::rotate: d.rotateSelection(a.value); break;
  case K::resetRotation: d.rotateSelection(std::nullopt); break;
  case K::duplicate: d.duplicateSelection(); break;
  case K::deleteSelection: d.deleteSelection(); break;
  }
}

} // namespace crel::InspectorActions
