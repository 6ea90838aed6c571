// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the INI files: the input is the file; every key the program reads is
// read in every kind without a fault, floats are finite, and one write either
// is refused (binary data) or changes that key alone.
#include "FuzzFiles.h"

#include "persist/AppError.h"
#include "persist/IniFile.h"

#include <QList>
#include <QPair>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace
{

const QList<QPair<QString, QString>> &keys()
{
    static const QList<QPair<QString, QString>> list{
        {QStringLiteral("Volume"), QStringLiteral("Value")},
        {QStringLiteral("Recently"), QStringLiteral("Enable")},
        {QStringLiteral("Recently"), QStringLiteral("File1")},
        {QStringLiteral("Recently"), QStringLiteral("File10")},
        {QStringLiteral("Resume"), QStringLiteral("Second")},
        {QStringLiteral("Playlist"), QStringLiteral("Enabled")},
        {QStringLiteral("Playlist"), QStringLiteral("Index")},
    };
    return list;
}

// Everything the program can read from the file, as text.
QStringList readAll(const IniFile &ini)
{
    QStringList values;
    for (const auto &[section, key] : keys()) {
        const double f = ini.readFloat(section, key, -1.0);
        require(std::isfinite(f), "a float reads as a finite number");
        values << QString::number(ini.valueExists(section, key))
               << ini.readString(section, key, QStringLiteral("<none>"))
               << QString::number(ini.readInteger(section, key, 50))
               << QString::number(ini.readBool(section, key, true)) << QString::number(f, 'g', 17);
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = fuzzFile(QStringLiteral("Resume.ini"));
    putFuzzBytes(path, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const IniFile ini(path);
    const QStringList before = readAll(ini);

    const QString name = QStringLiteral("/home/aki/動画/第1話 \"再会\".mp4");
    try {
        ini.writeString(QStringLiteral("Resume"), QStringLiteral("FileName"), name);
    } catch (const AppError &) {
        return 0; // binary data is never rewritten
    }
    require(ini.readString(QStringLiteral("Resume"), QStringLiteral("FileName"), QString()) == name,
            "a value written reads back");
    require(readAll(ini) == before, "a write changes no other key");
    return 0;
}
