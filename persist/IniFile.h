// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

struct IniKey;

// The INI profile service: every call opens the file, does its one read or
// write and closes it again; nothing is cached.
//
// - Section and key names match without regard to case.
// - Reading never creates a file. A missing file, section or key, or a value
//   that cannot be read in its kind, gives the default. White space around a
//   value and one pair of enclosing quotation marks are dropped; a value is
//   read as at most 2047 characters.
// - Writing changes the file at once: an existing key is replaced in place, a
//   missing key is appended at the end of its section, a missing section at
//   the end of the file, a missing file is created. Every other line stays as
//   it was. Lines end in CR LF; the file is written as UTF-8 without a BOM,
//   replaced atomically, under a lock shared with other running instances.
//   A write that cannot be made raises AppError("<path> に書き込めません").
// - Files are read as UTF-16 LE when they start with its BOM, as UTF-8 when
//   they are valid UTF-8 (a UTF-8 BOM is skipped), otherwise as code page 932.
// - Value kinds: integers in decimal ("0x"/"0X" hexadecimal on reading);
//   booleans written "1"/"0" and read as integers (non-zero is true); floats
//   in the general form (83.7, 120, 1E-6) with as many digits as reading back
//   the same value needs (at most 17), always written with a full stop and
//   read with a full stop or a comma; a float that is not finite reads as the
//   default.
class IniFile
{
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }

    bool valueExists(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &def) const;
    qint64 readInteger(const QString &section, const QString &key, qint64 def) const;
    bool readBool(const QString &section, const QString &key, bool def) const;
    double readFloat(const QString &section, const QString &key, double def) const;

    void writeString(const QString &section, const QString &key, const QString &value) const;
    void writeInteger(const QString &section, const QString &key, qint64 value) const;
    void writeBool(const QString &section, const QString &key, bool value) const;
    void writeFloat(const QString &section, const QString &key, double value) const;

    // The same for the program's own keys (persist/SettingsKeys.h), with
    // their defaults. number picks one of a numbered family ("File1").
    bool valueExists(const IniKey &key) const;
    QString readString(const IniKey &key, int number = 0) const;
    qint64 readInteger(const IniKey &key) const;
    bool readBool(const IniKey &key) const;
    double readFloat(const IniKey &key) const;
    void writeString(const IniKey &key, const QString &value, int number = 0) const;
    void writeInteger(const IniKey &key, qint64 value) const;
    void writeBool(const IniKey &key, bool value) const;
    void writeFloat(const IniKey &key, double value) const;

    // The resume record: Resume/FileName and Resume/Second written together,
    // in that order, under one lock, so that two programs that exit at once
    // never leave one's name with the other's position.
    void writeResumeRecord(const QString &fileName, double second) const;

    // What a string value reads back as once written: line breaks and NULs
    // become blanks, at most 2,047 characters are kept, characters that are
    // no text (lone surrogates) become U+FFFD.
    static QString readBackForm(const QString &value);

    // The text form of a float value: 15 significant digits, or 17 where 15
    // would not read back as the same value; no trailing zeros, a full stop
    // as separator, scientific notation below 0.00001 and from 10^15 up
    // (1E-6, 1E15). NaN and infinities are written "NAN", "INF" and "-INF",
    // which read as no number.
    static QString formatFloat(double value);
    // Reads a float value; false when the text is not a finite number in
    // the range of a double (NaN, infinities and overflowing values are
    // none).
    static bool parseFloat(const QString &text, double *value);

private:
    QString m_path;
};
