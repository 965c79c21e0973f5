#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What a PDF/A-1b's XMP packet says of the document. An archive reads these
// from the packet; the document information dictionary must agree with it
// where it holds the same, so the writer's title and creator are these too.
struct PdfMetadata
{
    QString title;
    QString author;  // the operator; empty: none
    QString subject; // the unit under test; empty: none
    QString creator; // the program that wrote the document
    QDateTime created;
};

// The XMP packet of `metadata`, with the PDF/A-1b identification and the producer `producer`.
QByteArray xmpPacket(const PdfMetadata& metadata, const QString& producer);
