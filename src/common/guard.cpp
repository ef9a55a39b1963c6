#include "common/guard.h"

#include "common/msgbox.h"

namespace fm {

void ShowUncaught(const std::exception &e)
{
    MessageBox(QString::fromUtf8(e.what()), ApplicationTitle(), MsgIcon::Error);
}

void ShowUncaughtUnknown()
{
    MessageBox(QStringLiteral("Unknown error"), ApplicationTitle(), MsgIcon::Error);
}

} // namespace fm
