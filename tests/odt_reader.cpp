#include "odt_reader.h"

#include <QProcess>
#include <QXmlStreamReader>
#include <optional>

namespace testing_support {

QByteArray unzip(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("unzip"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return p.readAllStandardOutput();
}

namespace {

qreal points(const QString& length) {
    if (!length.endsWith(QStringLiteral("pt"))) return -1;
    return length.chopped(2).toDouble();
}

}  // namespace

Odt read_odt(const QString& file) {
    Odt odt;
    odt.entries = QString::fromUtf8(unzip({QStringLiteral("-Z1"), file})).split(u'\n', Qt::SkipEmptyParts);
    odt.manifest = unzip({QStringLiteral("-p"), file, QStringLiteral("META-INF/manifest.xml")});
    const QString text_ns = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
    const QString draw_ns = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
    const QString svg_ns = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
    const QString xlink_ns = QStringLiteral("http://www.w3.org/1999/xlink");

    QXmlStreamReader r(unzip({QStringLiteral("-p"), file, QStringLiteral("content.xml")}));
    std::optional<QString> paragraph;
    bool collapsed = false;  // the paragraph ends in a space that stands for white space
    QSizeF frame;
    while (!r.atEnd()) {
        r.readNext();
        const auto ns = r.namespaceUri();
        const auto name = r.name();
        if (r.isStartElement()) {
            if (ns == text_ns && name == u"p") {
                paragraph = QString();
                collapsed = false;
            } else if (paragraph && ns == text_ns && name == u"s") {
                const auto c = r.attributes().value(text_ns, QStringLiteral("c"));
                *paragraph += QString(c.isEmpty() ? 1 : c.toInt(), u' ');
                collapsed = false;
            } else if (paragraph && ns == text_ns && name == u"tab") {
                *paragraph += u'\t';
                collapsed = false;
            } else if (paragraph && ns == text_ns && name == u"line-break") {
                *paragraph += u'\n';
                collapsed = false;
            } else if (ns == draw_ns && name == u"frame") {
                frame = QSizeF(points(r.attributes().value(svg_ns, QStringLiteral("width")).toString()),
                               points(r.attributes().value(svg_ns, QStringLiteral("height")).toString()));
            } else if (ns == draw_ns && name == u"image") {
                odt.images.push_back({r.attributes().value(xlink_ns, QStringLiteral("href")).toString(), frame});
            }
        } else if (r.isEndElement() && ns == text_ns && name == u"p") {
            if (collapsed) paragraph->chop(1);
            odt.paragraphs << *paragraph;
            paragraph.reset();
        } else if (r.isCharacters() && paragraph) {
            for (const QChar c : r.text()) {
                if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') {
                    *paragraph += c;
                    collapsed = false;
                } else if (!paragraph->isEmpty() && !collapsed) {
                    *paragraph += u' ';
                    collapsed = true;
                }
            }
        }
    }
    odt.well_formed = !r.hasError() && !odt.entries.isEmpty();
    return odt;
}

QImage embedded_picture(const QString& file, const QString& entry) {
    return QImage::fromData(unzip({QStringLiteral("-p"), file, entry}));
}

}  // namespace testing_support
