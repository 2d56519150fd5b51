#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects every log line, in order, while it exists; the lines still reach the handler that
// was installed before. Captures may nest: each one sees every line of its own lifetime.
class KPLogCapture
{
public:
    KPLogCapture();
    ~KPLogCapture();
    KPLogCapture(const KPLogCapture&) = delete;
    KPLogCapture& operator=(const KPLogCapture&) = delete;

    QStringList lines() const { return m_lines; }
    // The captured lines that start with the prefix, in order.
    QStringList lines(const QString& prefix) const;
    void clear() { m_lines.clear(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    KPLogCapture* m_outer;
    QStringList m_lines;
};
