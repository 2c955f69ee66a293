#pragma once

#include <clocale>
#include <locale.h>

namespace CenterInstaller {

// libarchive turns entry names into the thread's locale encoding. Names in a package are UTF-8
// (the inspection requires it) and belong on disk as those same bytes, so every thread that
// reads or writes entries works under C.UTF-8 while one of these lives, whatever the process's
// locale: services and scripts often run under the plain C locale, in which no Chinese name can
// be converted.
class Utf8Names {
  public:
    Utf8Names() : previous_(::uselocale(utf8Locale())) {}
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;
    ~Utf8Names() { ::uselocale(previous_); }

  private:
    static locale_t utf8Locale() {
        static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
        return locale;
    }
    locale_t previous_;
};

} // namespace CenterInstaller
