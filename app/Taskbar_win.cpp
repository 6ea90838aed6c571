// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Taskbar.h"

#include <QWidget>
#include <shobjidl.h>
#include <windows.h>

namespace
{

// The shell's taskbar list, obtained anew and released at every call; the
// results of the calls are not examined.
class ShellTaskbar : public Taskbar
{
public:
    void setProgress(QWidget *window, int state, quint64 value, quint64 max) override
    {
        ITaskbarList3 *list = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3,
                                    reinterpret_cast<void **>(&list))) ||
            !list)
            return;
        const HWND hwnd = reinterpret_cast<HWND>(window->winId());
        list->HrInit();
        list->SetProgressState(hwnd, static_cast<TBPFLAG>(state));
        list->SetProgressValue(hwnd, value, max);
        list->Release();
    }

    void hideProgress(QWidget *window) override
    {
        // A window that never had a native one never showed a progress.
        const WId id = window ? window->internalWinId() : 0;
        if (!id) return;
        ITaskbarList3 *list = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3,
                                    reinterpret_cast<void **>(&list))) ||
            !list)
            return;
        list->HrInit();
        list->SetProgressState(reinterpret_cast<HWND>(id), TBPF_NOPROGRESS);
        list->Release();
    }
};

} // namespace

std::unique_ptr<Taskbar> makePlatformTaskbar()
{
    return std::make_unique<ShellTaskbar>();
}
