#pragma once
// Figures of the help pages for what a screenshot cannot show: the lock
// levels, what the sweep values mean, how a long recording is split, and
// screenshots set one above the other with captions. GUI thread only.

#include <QImage>
#include <QString>
#include <QVector>

namespace HelpShot {

struct Language
{
    const char* suffix; // of the image names: "en", "zh"
    bool chinese;
    QString text(const char* english, const char* chineseText) const
    {
        return QString::fromUtf8(chinese ? chineseText : english);
    }
};

// The five lock levels of the battery icon, with the status light.
QImage lockFigure();
// Start, end and step of the sweep, and the resonance between them.
QImage sweepFigure(const Language& lang);
// The files of one long recording at 1000 Hz.
QImage recordingFigure(const Language& lang);

struct Captioned
{
    QString caption;
    QImage image;
};
// The images one above the other, each under its caption.
QImage stackedFigure(const QVector<Captioned>& parts);

} // namespace HelpShot
