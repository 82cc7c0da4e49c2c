#include "platform/linux/po_lang_packs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gettext-po.h>
#include <iconv.h>
#include <memory>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace tlv {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// libgettextpo reports through plain function pointers and requires that a fatal report never
// returns: the parse of one file jumps back to readPo. Only the reading thread sees this state.
struct ParseState {
    std::string firstError;
    std::jmp_buf jump;
};
thread_local ParseState* t_parse = nullptr;

void note(int severity, const char* filename, size_t lineno, const char* text) {
    if (!t_parse || severity < PO_SEVERITY_ERROR || !t_parse->firstError.empty())
        return;
    std::string where = filename ? filename : "";
    if (lineno != static_cast<size_t>(-1) && lineno != 0)
        where += ":" + std::to_string(lineno);
    t_parse->firstError = where + ": " + (text ? text : "error");
}

void onXerror(int severity, po_message_t, const char* filename, size_t lineno, size_t, int,
              const char* text) {
    note(severity, filename, lineno, text);
    if (severity == PO_SEVERITY_FATAL_ERROR && t_parse)
        std::longjmp(t_parse->jump, 1);
}

void onXerror2(int severity, po_message_t, const char* filename1, size_t lineno1, size_t, int,
               const char* text1, po_message_t, const char*, size_t, size_t, int, const char*) {
    note(severity, filename1, lineno1, text1);
    if (severity == PO_SEVERITY_FATAL_ERROR && t_parse)
        std::longjmp(t_parse->jump, 1);
}

po_file_t readPo(const char* path, ParseState& state) {
    static const po_xerror_handler handler = {onXerror, onXerror2};
    t_parse = &state;
    po_file_t volatile file = nullptr;
    if (setjmp(state.jump) == 0)
        file = po_file_read(path, &handler);
    t_parse = nullptr;
    return file;
}

std::string headerField(const char* header, const char* field) {
    if (!header)
        return {};
    char* v = po_header_field(header, field);
    if (!v)
        return {};
    std::string out(v);
    std::free(v);
    return out;
}

bool isUtf8Name(const std::string& cs) {
    const std::string l = lower(cs);
    return l.empty() || l == "utf-8" || l == "utf8" || l == "ascii" || l == "us-ascii" ||
           l == "charset";
}

// The whole text in UTF-8; false when it is not valid in its charset.
bool toUtf8(const std::string& charset, std::string& text) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string out(text.size() * 2 + 16, '\0');
    char* in = text.data();
    size_t inLeft = text.size();
    size_t used = 0;
    bool ok = true;
    for (;;) {
        char* o = out.data() + used;
        size_t outLeft = out.size() - used;
        const size_t rc =
            in ? iconv(cd, &in, &inLeft, &o, &outLeft) : iconv(cd, nullptr, nullptr, &o, &outLeft);
        used = out.size() - outLeft;
        if (rc == static_cast<size_t>(-1) && errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (rc == static_cast<size_t>(-1)) {
            ok = false;
            break;
        }
        if (!in)
            break;
        in = nullptr; // flush what a composing charset holds back
    }
    iconv_close(cd);
    if (ok) {
        out.resize(used);
        text = std::move(out);
    }
    return ok;
}

// The name after "charset=" at pos (the characters a charset name is made of).
std::string charsetNameAt(const std::string& text, size_t pos) {
    size_t end = pos + 8;
    while (
        end < text.size() && end - pos < 72 &&
        (std::isalnum(static_cast<unsigned char>(text[end])) || std::strchr("-_.:()", text[end])))
        ++end;
    return text.substr(pos + 8, end - pos - 8);
}

// Every charset named in the file's strings, in lower case, as libgettextpo would see them:
// escapes undone and the strings that follow one another joined ("charset=" "CP1255" names
// CP1255), wherever they stand (a second header entry switches the library's decoding too).
// Comments are skipped, but not the obsolete and previous entries ("#~", "#|").
std::set<std::string> declaredCharsets(const std::string& bytes) {
    std::set<std::string> out;
    std::string joined;
    auto flush = [&] {
        const std::string l = lower(joined);
        for (size_t pos = 0; (pos = l.find("charset=", pos)) != std::string::npos; pos += 8)
            out.insert(charsetNameAt(l, pos));
        joined.clear();
    };
    const size_t n = bytes.size();
    auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    for (size_t i = 0; i < n;) {
        const char c = bytes[i];
        if (c == '#') {
            if (i + 1 < n && (bytes[i + 1] == '~' || bytes[i + 1] == '|')) {
                i += 2;
                continue;
            }
            while (i < n && bytes[i] != '\n')
                ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c != '"') {
            // A keyword (or anything else) ends the strings before it.
            flush();
            while (i < n && bytes[i] != '"' && bytes[i] != '#' &&
                   !std::isspace(static_cast<unsigned char>(bytes[i])))
                ++i;
            continue;
        }
        for (++i; i < n && bytes[i] != '"' && bytes[i] != '\n'; ++i) {
            if (bytes[i] != '\\' || i + 1 >= n) {
                joined += bytes[i];
                continue;
            }
            const char e = bytes[++i];
            if (isOctal(e)) {
                int v = 0;
                for (int k = 0; k < 3 && i < n && isOctal(bytes[i]); ++k, ++i)
                    v = v * 8 + (bytes[i] - '0');
                joined += static_cast<char>(v);
                --i;
            } else if (e == 'x') {
                unsigned v = 0;
                for (unsigned char h; i + 1 < n && std::isxdigit(h = bytes[i + 1]); ++i)
                    v = (v * 16 + (std::isdigit(h) ? h - '0' : (h | 0x20) - 'a' + 10)) & 0xff;
                joined += static_cast<char>(v);
            } else if (e != '\n') {
                static const std::string from = "ntbrfva", to = "\n\t\b\r\f\v\a";
                const size_t k = from.find(e);
                joined += k == std::string::npos ? e : to[k];
            }
        }
        if (i < n && bytes[i] == '"')
            ++i;
    }
    flush();
    return out;
}

// Every charset the text declares becomes UTF-8.
void declareUtf8(std::string& text) {
    const std::string l = lower(text);
    std::string out;
    size_t from = 0;
    for (size_t pos; (pos = l.find("charset=", from)) != std::string::npos;) {
        out.append(text, from, pos + 8 - from);
        out += "UTF-8";
        from = pos + 8 + charsetNameAt(text, pos).size();
    }
    out.append(text, from, std::string::npos);
    text = std::move(out);
}

// A descriptor that closes itself.
struct OwnedFd {
    int fd = -1;
    ~OwnedFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::string poLanguageName(const std::string& fileName) {
    const std::string l = lower(fileName);
    if (l.size() < 3 || l.compare(l.size() - 3, 3, ".po") != 0)
        return {};
    return fileName.substr(0, l.find(".po"));
}

PoLangPackStore::PoLangPackStore(std::string folder) : m_folder(std::move(folder)) {}

std::vector<std::string> PoLangPackStore::listPacks(const std::string& baseName) {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(baseName, 0) != 0)
            continue;
        std::error_code fec;
        if (!it->is_regular_file(fec))
            continue;
        const std::string lang = poLanguageName(name);
        if (!lang.empty())
            out.push_back(lang);
    }
    return out;
}

std::string PoLangPackStore::pathFor(const std::string& languageName) {
    struct stat st {};
    if (::stat(m_folder.c_str(), &st) != 0)
        return {};
    const int64_t mtimeNs =
        static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    // A change within the time stamp's granularity would leave the same stamp: while the stamp
    // is recent, read the folder again.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t nowNs = static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    if (mtimeNs != m_folderMtimeNs || nowNs - mtimeNs < 2'000'000'000) {
        // Names in any letter case, extensions too, as the listing finds them; an exact match
        // wins over one that differs in case.
        m_byName.clear();
        std::error_code ec;
        for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            const std::string lang = poLanguageName(name);
            if (lang.empty())
                continue;
            m_byName[lang] = it->path().string();
            m_byName.emplace(lower(lang), it->path().string());
        }
        m_folderMtimeNs = mtimeNs;
    }
    auto it = m_byName.find(languageName);
    if (it == m_byName.end())
        it = m_byName.find(lower(languageName));
    return it == m_byName.end() ? std::string() : it->second;
}

LangPackLookup PoLangPackStore::find(const std::string& languageName) {
    if (m_folder.empty() || languageName.empty())
        return {};
    const std::string path = pathFor(languageName);
    if (path.empty())
        return {};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    const int64_t mtimeNs =
        static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    auto& cached = m_cache[path];
    const bool changed =
        cached.size != static_cast<int64_t>(st.st_size) || cached.mtimeNs != mtimeNs;
    // A rewrite within the time stamp's granularity keeps the stamp: a recent file is read
    // again, but a failure is reported only once per change seen.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const bool recent =
        static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec - mtimeNs < 2'000'000'000;
    if (!changed && !recent)
        return {cached.pack, {}};
    LangPackLookup r;
    if (st.st_size > kMaxFileBytes)
        r.error = path + ": the file is larger than " + std::to_string(kMaxFileBytes) + " bytes";
    else
        r = parseFile(path);
    cached.size = static_cast<int64_t>(st.st_size);
    cached.mtimeNs = mtimeNs;
    cached.pack = r.pack;
    if (!changed)
        r.error.clear();
    return r;
}

LangPackLookup PoLangPackStore::parseFile(const std::string& path) {
    LangPackLookup r;
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            r.error = path + ": cannot be read";
            return r;
        }
        // Sized to the file (one byte more shows a file that grew past the cap meanwhile):
        // a buffer of the cap for every pack cost 16 MiB each at start-up.
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        const int64_t want = size >= 0 ? std::min<int64_t>(size, kMaxFileBytes) : kMaxFileBytes;
        bytes.resize(static_cast<size_t>(want) + 1);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<size_t>(in.gcount()));
        if (bytes.size() > static_cast<size_t>(kMaxFileBytes)) {
            r.error =
                path + ": the file is larger than " + std::to_string(kMaxFileBytes) + " bytes";
            return r;
        }
    }
    // libgettextpo decodes any other charset one character at a time and aborts the whole
    // process on one that composes characters (CP1255, CP1258): it is only ever given UTF-8.
    std::string readPath = path;
    OwnedFd copy;
    std::set<std::string> unsafe;
    for (const std::string& name : declaredCharsets(bytes))
        if (!isUtf8Name(name))
            unsafe.insert(name);
    if (unsafe.size() > 1) {
        r.error = path + ": declares more than one charset (" + *unsafe.begin() + ", " +
                  *std::next(unsafe.begin()) + ")";
        return r;
    }
    if (!unsafe.empty()) {
        const std::string& charset = *unsafe.begin();
        if (!toUtf8(charset, bytes)) {
            iconv_t probe = iconv_open("UTF-8", charset.c_str());
            r.error =
                path + (probe == reinterpret_cast<iconv_t>(-1) ? ": unknown charset " + charset
                                                               : ": text not valid in " + charset);
            if (probe != reinterpret_cast<iconv_t>(-1))
                iconv_close(probe);
            return r;
        }
        declareUtf8(bytes);
        // A name spelt with escapes or split over strings is not rewritten above.
        for (const std::string& name : declaredCharsets(bytes))
            if (!isUtf8Name(name)) {
                r.error = path + ": the charset " + charset +
                          " is declared in a form that "
                          "cannot be converted";
                return r;
            }
        copy.fd = memfd_create("tlvcli_pack.po", MFD_CLOEXEC);
        for (size_t done = 0; copy.fd >= 0 && done < bytes.size();) {
            const ssize_t n = ::write(copy.fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                r.error = path + ": cannot be read";
                return r;
            }
            done += static_cast<size_t>(n);
        }
        if (copy.fd < 0) {
            r.error = path + ": cannot be read";
            return r;
        }
        readPath = "/proc/self/fd/" + std::to_string(copy.fd);
    }

    ParseState state;
    po_file_t file = readPo(readPath.c_str(), state);
    if (state.firstError.rfind(readPath, 0) == 0)
        state.firstError.replace(0, readPath.size(), path);
    if (!file || !state.firstError.empty()) {
        if (file)
            po_file_free(file);
        r.error = state.firstError.empty() ? path + ": cannot be read" : state.firstError;
        return r;
    }
    auto pack = std::make_shared<LangPack>();
    // The library hands out a copy of the header (despite the const) that the caller frees.
    const std::unique_ptr<char, void (*)(void*)> headerCopy(
        const_cast<char*>(po_file_domain_header(file, nullptr)), std::free);
    const char* header = headerCopy.get();
    pack->nativeName = headerField(header, "X-Native-Name");
    pack->westernName = headerField(header, "X-Western-Name");
    pack->translator = headerField(header, "X-Translator");
    const std::string cs = headerField(header, "X-Charset");
    int value = 0;
    const auto [p, ec] = std::from_chars(cs.data(), cs.data() + cs.size(), value);
    if (ec == std::errc() && p == cs.data() + cs.size() && value >= -32768 && value <= 32767)
        pack->charset = value;

    const std::unique_ptr<std::remove_pointer_t<po_message_iterator_t>,
                          void (*)(po_message_iterator_t)>
        iter(po_message_iterator(file, nullptr), po_message_iterator_free);
    po_message_iterator_t it = iter.get();
    for (po_message_t m; (m = po_next_message(it)) != nullptr;) {
        if (po_message_is_obsolete(m) || po_message_is_fuzzy(m))
            continue;
        const char* ctxt = po_message_msgctxt(m);
        const char* str = po_message_msgstr(m);
        if (!ctxt || !str || !*str)
            continue;
        int32_t id = 0;
        const char* end = ctxt + std::strlen(ctxt);
        const auto [q, iec] = std::from_chars(ctxt, end, id);
        if (iec != std::errc() || q != end)
            continue; // not one of our ids
        pack->texts[id] = str;
    }
    po_file_free(file);
    r.pack = std::move(pack);
    return r;
}

} // namespace tlv
