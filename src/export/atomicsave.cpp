#include "atomicsave.h"

#include "exporterror.h"

#include <QSaveFile>

bool saveFileAtomically(const QByteArray &data, const QString &fileName, QString *error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = cantWrite(fileName, file.errorString());
        return false;
    }
    return true;
}
