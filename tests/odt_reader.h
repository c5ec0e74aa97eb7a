// Reading back the ODF text documents the export writes (with unzip): the
// paragraphs' texts and the pictures they hold.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <vector>

namespace testing_support {

// What a handed-over document holds, read back from its package.
struct Odt {
    QStringList entries;
    QByteArray manifest;
    bool well_formed = false;
    // The text of each text:p as Writer reads it: white space in the XML
    // collapsed to one space and dropped at either end; text:s, text:tab and
    // text:line-break as a space, \t and \n.
    QStringList paragraphs;
    struct Image {
        QString href;
        QSizeF points;  // the frame's size
    };
    std::vector<Image> images;
};

QByteArray unzip(const QStringList& args);
Odt read_odt(const QString& file);
QImage embedded_picture(const QString& file, const QString& entry);

}  // namespace testing_support
