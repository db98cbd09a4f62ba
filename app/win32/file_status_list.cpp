#include "app/win32/file_status_list.h"

#include "app/win32/text.h"

namespace app::win32 {

void FileStatusList::AddLine(const std::string& text) {
    const std::wstring line = Wide(text);
    ::SendMessageW(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void FileStatusList::ReplaceLastLine(const std::string& text) {
    const int last = Count() - 1;
    if (last < 0) {
        AddLine(text);
        return;
    }
    const std::wstring line = Wide(text);
    ::SendMessageW(window_, LB_DELETESTRING, static_cast<WPARAM>(last), 0);
    ::SendMessageW(window_, LB_INSERTSTRING, static_cast<WPARAM>(last),
                   reinterpret_cast<LPARAM>(line.c_str()));
}

void FileStatusList::ScrollToEnd() {
    const int last = Count() - 1;
    if (last < 0) {
        return;
    }
    // Only the top index: a selection, even in a list box without one, is
    // drawn highlighted by some systems. It stops where the last page is
    // full, which is as far as the list scrolls.
    ::SendMessageW(window_, LB_SETTOPINDEX, static_cast<WPARAM>(last), 0);
}

void FileStatusList::Clear() {
    ::SendMessageW(window_, LB_RESETCONTENT, 0, 0);
}

int FileStatusList::Count() const {
    const LRESULT count = ::SendMessageW(window_, LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

std::string FileStatusList::Line(int index) const {
    const LRESULT length = ::SendMessageW(window_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) {
        return {};
    }
    std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(window_, LB_GETTEXT, static_cast<WPARAM>(index),
                                          reinterpret_cast<LPARAM>(line.data()));
    line.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return Narrow(line);
}

}  // namespace app::win32
