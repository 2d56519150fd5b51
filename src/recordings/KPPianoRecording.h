#pragma once

#include "recordings/KPPianoKeyAction.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One saved recording. Its event list is a value of its own: the manager's live list can be
// cleared and refilled without touching a saved recording. Only the name changes after saving.
struct KPPianoRecording
{
    // Longer than any take a pianist makes: a live recording ends there, an import is cut there.
    static constexpr int kLongestSeconds = 24 * 60 * 60;

    QList<KPPianoKeyAction> actions;
    QString soundBankName;
    QDateTime recordingDate;
    std::optional<QString> recordingName;

    friend bool operator==(const KPPianoRecording&, const KPPianoRecording&) = default;
};
