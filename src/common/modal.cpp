#include "common/modal.h"

#include "common/msgbox.h"

#include <QDialog>

namespace fm {
namespace {
ModalRunner g_runner;
}

void SetModalRunner(ModalRunner runner) { g_runner = std::move(runner); }

int ShowModal(QDialog &dialog)
{
    if (g_runner) return g_runner(dialog);
    // Accepted means OK; rejected, Esc and the close box mean Cancel.
    return dialog.exec() == QDialog::Accepted ? mrOk : mrCancel;
}

} // namespace fm
