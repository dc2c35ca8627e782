#include "app/folder_path.h"

#include "platform/platform.h"

bool CreateFolderPath(const std::wstring& path) {
    auto& system = platform::CurrentPlatform();
    const int error = system.MakeFolder(path);
    if (error == 0 || error == platform::kErrExists) return true;
    const std::wstring parent = GetParentFolder(path);
    // A path that is its own parent (a bare name, an unknown drive) cannot get any nearer
    // to an existing folder: without this test the recursion would never end.
    if (parent.size() == 1 || parent == path) return false;
    if (!CreateFolderPath(parent)) return false;
    return system.MakeFolder(path) == 0;
}

std::wstring GetParentFolder(const std::wstring& path) {
    if (path.size() == 1) return path;
    const auto slash = path.rfind(L'\\');
    return RemoveTrailingBackslash(slash == std::wstring::npos ? path : path.substr(0, slash));
}

std::wstring RemoveTrailingBackslash(const std::wstring& path) {
    if (path.empty()) return L"c:";
    if (path.back() == L'\\') return path.substr(0, path.size() - 1);
    return path;
}

std::wstring JoinPath(const std::wstring& base, const std::wstring& piece) {
    std::wstring joined;
    joined.reserve(base.size() + 1 + piece.size());
    joined.append(base).append(1, L'\\').append(piece);
    return joined;
}
