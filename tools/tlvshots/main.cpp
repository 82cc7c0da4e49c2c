// tlvshots OUTDIR [--size WIDTHxHEIGHT]... [--lang CODE|all]... [--data DIR]: renders every
// form and dialog of the client in each of its states and pages off screen into PNG files, on a
// screen of each size (1366x768 unless given) and in each language (English unless given).
#include "tools/tlvshots/gallery.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr, "usage: tlvshots OUTDIR [--size WIDTHxHEIGHT]... [--lang CODE|all]... "
                         "[--data DIR]\n");
    return 2;
}

QSize parseSize(const char* text) {
    const QStringList wh = QString(text).split('x');
    if (wh.size() != 2 || wh[0].toInt() < 320 || wh[1].toInt() < 240 || wh[0].toInt() > 8192 ||
        wh[1].toInt() > 8192)
        return {};
    return {wh[0].toInt(), wh[1].toInt()};
}

// The screen is fixed when the application starts: every further size runs in a process of
// its own, with the same arguments but one size.
int runOtherSizes(char* self, const std::vector<std::string>& args,
                  const std::vector<std::string>& sizes) {
    int worst = 0;
    for (const std::string& size : sizes) {
        std::vector<std::string> a{self};
        a.insert(a.end(), args.begin(), args.end());
        a.push_back("--size");
        a.push_back(size);
        std::vector<char*> argv;
        for (std::string& s : a)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execv("/proc/self/exe", argv.data());
            ::_exit(127);
        }
        int status = 1;
        if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            worst = 1;
        else
            worst = std::max(worst, WEXITSTATUS(status));
    }
    return worst;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-')
        return usage();
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    std::vector<std::string> sizes;
    std::vector<std::string> langs;
    std::string data = TLVSHOTS_DATA_DIR;
    std::vector<std::string> common{argv[1]}; // the arguments every size shares
    for (int i = 2; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--size") && hasValue) {
            if (parseSize(argv[i + 1]).isEmpty())
                return usage();
            sizes.emplace_back(argv[++i]);
        } else if (!std::strcmp(argv[i], "--lang") && hasValue) {
            langs.emplace_back(argv[++i]);
            common.insert(common.end(), {"--lang", langs.back()});
        } else if (!std::strcmp(argv[i], "--data") && hasValue) {
            data = argv[++i];
            common.insert(common.end(), {"--data", data});
        } else if (i == 2 && !parseSize(argv[i]).isEmpty()) {
            sizes.emplace_back(argv[i]); // the older form: OUTDIR WIDTHxHEIGHT
        } else {
            return usage();
        }
    }
    if (sizes.empty())
        sizes.emplace_back("1366x768");
    int rc = 0;
    if (sizes.size() > 1)
        rc = runOtherSizes(argv[0], common, {sizes.begin() + 1, sizes.end()});
    const QSize screen = parseSize(sizes.front().c_str());

    QTemporaryDir config;
    if (!config.isValid() ||
        !tlv::gallery::useOffscreenScreen(screen, config.filePath("screens.json"))) {
        std::fprintf(stderr, "tlvshots: cannot configure the screen\n");
        return 1;
    }
    QApplication app(argc, argv);
    const std::string langDir = data + "/lang";
    if (langs.empty())
        langs.emplace_back("en");
    if (langs.size() == 1 && langs.front() == "all")
        langs = tlv::gallery::languages(langDir);

    QDir().mkpath(outDir);
    const QString sizeSuffix = screen == QSize(1366, 768)
                                   ? QString()
                                   : QString("_%1x%2").arg(screen.width()).arg(screen.height());
    int written = 0;
    for (const std::string& lang : langs) {
        tlv::gallery::Options o;
        o.language = lang;
        o.langDir = langDir;
        o.docsDir = data + "/docs";
        const QString suffix =
            (lang == "en" ? QString() : "_" + QString::fromStdString(lang)) + sizeSuffix;
        tlv::gallery::render(o, [&](const tlv::gallery::Shot& s) {
            const QString path = QDir(outDir).filePath(s.name + suffix + ".png");
            if ((s.picture.isNull() ? s.image : s.picture).save(path, "PNG")) {
                ++written;
                std::printf("%s\n", path.toLocal8Bit().constData());
            } else {
                std::fprintf(stderr, "tlvshots: cannot write %s\n", path.toLocal8Bit().constData());
                rc = 1;
            }
        });
    }
    return written > 0 ? rc : 1;
}
