// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>

// A shared library the program loads the first time it needs it rather than
// with the program: linked, it and everything it links would be loaded
// before main() (libmpv with its two hundred libraries: about 0.1 s before
// the window can show). The library stays loaded until the program ends.
class LateLibrary
{
public:
    // file: as the system's loader finds it ("libmpv.so.2").
    explicit LateLibrary(const char *file);

    // Loads it; false with why() set when it cannot be.
    bool load();
    // One function of it, into a pointer of its type; a name not found is
    // added to why().
    template <class Function> void resolve(Function *&into, const char *name)
    {
        into = reinterpret_cast<Function *>(m_library.resolve(name));
        if (!into) m_missing.append(QString::fromLatin1(name));
    }
    // Why it cannot be used: the loader's word, or the functions not found.
    QString why() const;

private:
    QLibrary m_library;
    QString m_loadError;
    QStringList m_missing;
};
