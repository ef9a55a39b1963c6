#pragma once
// Modal dialogs are shown through ShowModal(), the form factory's one door:
// tests install a runner that fills the dialog's fields and ends it, instead
// of running a real modal loop.
#include <functional>

class QDialog;

namespace fm {

// Runs the dialog modally; returns its result, mrOk (1) or mrCancel (2).
int ShowModal(QDialog &dialog);

using ModalRunner = std::function<int(QDialog &)>;
void SetModalRunner(ModalRunner runner); // nullptr: real modal loop

} // namespace fm
