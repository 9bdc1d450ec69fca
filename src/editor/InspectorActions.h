#pragma once

#include "InspectorDescription.h"

namespace crel {

class CrelDocument;
class Pasteboard;

namespace InspectorActions {

// Applies `action` to the document through its operations. The mode actions
// assign the mode, clear the selection and assign the tool, without the full
// tool switch; the lock button's tool choice is the full switch. Opening the
// custom ink panel is the caller's (it needs the panel).
void perform(CrelDocument &document, const InspectorAction &action, Pasteboard &pasteboard);

} // namespace InspectorActions

} // namespace crel
