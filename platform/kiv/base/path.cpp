#include "platform/kiv/base/path.h"

#include <algorithm>
#include <vector>

#include "platform/kiv/base/text.h"

namespace Kiv {

bool File::Path::IsAbsolute(std::string_view t) {
    if (!t.empty() && IsSeparator(t[0])) return true;
    return t.size() >= 3 && t[1] == ':' && IsSeparator(t[2]);
}

File::Path& File::Path::Normalize() {
    std::string p = s_;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.empty()) return *this;

    std::string prefix;
    size_t i = 0;
    if (p.size() >= 2 && p[0] == '/' && p[1] == '/' && (p.size() == 2 || p[2] != '/')) {
        prefix = "//";  // a share keeps its double separator
        i = 2;
    } else if (p[0] == '/') {
        prefix = "/";
        while (i < p.size() && p[i] == '/')
            ++i;
    } else if (p.size() >= 2 && p[1] == ':') {
        prefix = p.substr(0, 2);
        i = 2;
        if (i < p.size() && p[i] == '/') {
            prefix += '/';
            while (i < p.size() && p[i] == '/')
                ++i;
        }
    }
    bool trailing = p.size() > i && p.back() == '/';

    std::vector<std::string_view> parts;
    std::string_view rest(p.data() + i, p.size() - i);
    size_t a = 0;
    while (a <= rest.size()) {
        size_t b = rest.find('/', a);
        if (b == std::string_view::npos) b = rest.size();
        std::string_view comp = rest.substr(a, b - a);
        if (comp.empty() || comp == ".") {
            // dropped
        } else if (comp == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (comp == ".." && !prefix.empty() && prefix.back() == '/') {
            // ".." at a root stays at the root
        } else {
            parts.push_back(comp);
        }
        a = b + 1;
    }
    std::string out = prefix;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out += '/';
        out += parts[k];
    }
    if (trailing && !parts.empty()) out += '/';
    if (out.empty() && !p.empty()) out = ".";
    s_ = std::move(out);
    return *this;
}

File::Path& File::Path::AddPath(std::string_view component) {
    if (component.empty()) return *this;
    if (s_.empty()) {
        s_ = component;
        return *this;
    }
    bool endSep = IsSeparator(s_.back());
    bool startSep = IsSeparator(component.front());
    if (endSep && startSep) {
        s_ += component.substr(1);
    } else if (endSep || startSep) {
        s_ += component;
    } else {
        s_ += '/';
        s_ += component;
    }
    return *this;
}

bool File::Path::PrevDir() {
    std::string& p = s_;
    size_t end = p.size();
    while (end > 1 && IsSeparator(p[end - 1]))
        --end;
    size_t sep = std::string::npos;
    for (size_t k = end; k > 0; --k) {
        if (IsSeparator(p[k - 1])) {
            sep = k - 1;
            break;
        }
    }
    if (sep == std::string::npos) {
        if (end == 0) return false;
        p.clear();
        return true;
    }
    if (sep == 0) {
        if (end <= 1) return false;
        p.resize(1);  // the root remains
        return true;
    }
    p.resize(sep);
    return true;
}

std::string_view File::Path::GetFileName() const {
    for (size_t k = s_.size(); k > 0; --k) {
        if (IsSeparator(s_[k - 1])) return std::string_view(s_).substr(k);
    }
    return s_;
}

std::string_view File::Path::GetFolder() const {
    for (size_t k = s_.size(); k > 0; --k) {
        if (IsSeparator(s_[k - 1])) return std::string_view(s_).substr(0, k - 1);
    }
    return std::string_view();
}

std::string_view File::Path::GetExt() const {
    std::string_view name = GetFileName();
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

bool File::Path::IsExt(std::string_view ext) const {
    if (!ext.empty() && ext[0] == '.') ext.remove_prefix(1);
    std::string_view name = GetFileName();
    if (name.size() < ext.size() + 1) return false;
    if (name[name.size() - ext.size() - 1] != '.') return false;
    return EqualsIgnoreCase(name.substr(name.size() - ext.size()), ext);
}

File::Path& File::Path::SetExt(std::string_view ext) {
    if (!ext.empty() && ext[0] == '.') ext.remove_prefix(1);
    std::string_view name = GetFileName();
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) s_.resize(s_.size() - (name.size() - dot));
    if (!ext.empty()) {
        s_ += '.';
        s_ += ext;
    }
    return *this;
}

File::Path& File::Path::ReplaceForwardSlashes() {
    std::replace(s_.begin(), s_.end(), '/', '\\');
    return *this;
}

File::Path& File::Path::ReplaceBackSlashes() {
    std::replace(s_.begin(), s_.end(), '\\', '/');
    return *this;
}

File::Path& File::Path::RemoveTrailingSeparator() {
    while (s_.size() > 1 && IsSeparator(s_.back())) {
        if (s_.size() == 3 && s_[1] == ':') break;  // "c:/" is a root
        s_.pop_back();
    }
    return *this;
}

bool File::Path::MakeRelativeTo(std::string_view base) {
    std::string b(base);
    std::replace(b.begin(), b.end(), '\\', '/');
    while (!b.empty() && b.back() == '/')
        b.pop_back();
    std::string p = s_;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.size() <= b.size() || !EqualsIgnoreCase(std::string_view(p).substr(0, b.size()), b))
        return false;
    if (!b.empty() && p[b.size()] != '/') return false;
    size_t cut = b.size();
    while (cut < s_.size() && IsSeparator(s_[cut]))
        ++cut;
    s_.erase(0, cut);
    return true;
}

}  // namespace Kiv
