// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PDFOUTPUT_H
#define QUVELTA_PDFOUTPUT_H

#include <QByteArray>
#include <QIODevice>

#include <vector>

namespace PdfExport {

// A PDF string literal of Latin-1 text, its delimiters escaped.
inline QByteArray literal(const QString &text)
{
    QByteArray out = "(";
    for (const char c : text.toLatin1()) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + ')';
}

// "N 0 R", a reference to object N.
inline QByteArray ref(int id)
{
    return QByteArray::number(id) + " 0 R";
}

// Writes PDF objects and remembers their offsets for the cross-reference table.
class PdfOutput
{
public:
    explicit PdfOutput(QIODevice *device) : device(device) { }

    bool write(const QByteArray &data)
    {
        if (failed || device->write(data) != data.size()) {
            failed = true;
            return false;
        }
        offset += data.size();
        return true;
    }

    void beginObject(int id)
    {
        if (offsets.size() < size_t(id))
            offsets.resize(size_t(id));
        offsets[size_t(id - 1)] = offset;
        write(QByteArray::number(id) + " 0 obj\n");
    }

    void object(int id, const QByteArray &body)
    {
        beginObject(id);
        write(body + "\nendobj\n");
    }

    void finish(int rootId, int infoId)
    {
        const qint64 xref = offset;
        QByteArray table = "xref\n0 " + QByteArray::number(qulonglong(offsets.size() + 1))
            + "\n0000000000 65535 f \n";
        for (qint64 o : offsets)
            table += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
        write(table);
        write("trailer\n<< /Size " + QByteArray::number(qulonglong(offsets.size() + 1)) + " /Root "
            + QByteArray::number(rootId) + " 0 R /Info " + QByteArray::number(infoId)
            + " 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    }

    bool ok() const { return !failed; }
    qint64 position() const { return offset; }

private:
    QIODevice *device;
    qint64 offset = 0;
    std::vector<qint64> offsets;
    bool failed = false;
};

}

#endif
