#pragma once

#include "recordings/KPPianoRecording.h"

#include <QRectF>
#include <QWidget>

// A small piano-roll strip of a recording's notes, pitch against time, so that a take is found
// by looking rather than by playing it. Notes too short to see are drawn a pixel wide.
class KPNotesPicture : public QWidget
{
public:
    explicit KPNotesPicture(QWidget* parent = nullptr);

    void setRecording(const KPPianoRecording& recording);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<QRectF> m_bars;
};
