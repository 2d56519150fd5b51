#include "KPLogCapture.h"

namespace {

KPLogCapture* g_innermost = nullptr;
QtMessageHandler g_original = nullptr;

} // namespace

KPLogCapture::KPLogCapture() : m_outer(g_innermost)
{
    if (!m_outer)
        g_original = qInstallMessageHandler(handle);
    g_innermost = this;
}

KPLogCapture::~KPLogCapture()
{
    g_innermost = m_outer;
    if (!m_outer)
        qInstallMessageHandler(g_original);
}

void KPLogCapture::handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    for (KPLogCapture* capture = g_innermost; capture; capture = capture->m_outer)
        capture->m_lines.append(message);
    if (g_original)
        g_original(type, context, message);
}

QStringList KPLogCapture::lines(const QString& prefix) const
{
    QStringList matching;
    for (const QString& line : m_lines)
        if (line.startsWith(prefix))
            matching << line;
    return matching;
}
