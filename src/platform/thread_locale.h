// The user-interface thread's locale: the program switches it between English (United States)
// and Chinese (Simplified) with its language, and refuses to start when English is refused.
#pragma once

#include <atomic>
#include <initializer_list>
#include <utility>
#include <vector>

namespace vx3::platform {

inline constexpr int kLocaleEnglishUs = 0x0409;
inline constexpr int kLocaleChineseSimplified = 0x0804;

class ThreadLocale {
 public:
  virtual ~ThreadLocale() = default;
  // Puts `localeId` in force; false when the platform refuses it (the locale then stays).
  virtual bool Set(int localeId) = 0;
  // The locale in force; 0 before the first successful Set.
  virtual int Current() const = 0;
};

// The program's own thread locale. The platforms we run on have no per-thread locale that
// windows follow, so this one records the choice for the windows that ask (the About box picks
// its language by it). It accepts the two locales of the program's languages and refuses any
// other, and any locale it is told to refuse, which is how tests and support staff can see the
// program's behaviour on a machine that lacks a language.
class StandInThreadLocale final : public ThreadLocale {
 public:
  explicit StandInThreadLocale(std::initializer_list<int> refused = {}) : refused_(refused) {}
  explicit StandInThreadLocale(std::vector<int> refused) : refused_(std::move(refused)) {}

  bool Set(int localeId) override;
  int Current() const override { return current_.load(); }

 private:
  std::vector<int> refused_;
  std::atomic<int> current_{0};
};

#ifdef _WIN32
// The Windows thread locale of the calling thread (the user-interface thread), set with the
// system's own function, so that the system's dialogs and conversions follow the language. A
// locale listed as refused is refused before the system is asked, for the same trials as above.
class WindowsThreadLocale final : public ThreadLocale {
 public:
  explicit WindowsThreadLocale(std::vector<int> refused = {}) : refused_(std::move(refused)) {}

  bool Set(int localeId) override;
  int Current() const override { return current_.load(); }

 private:
  std::vector<int> refused_;
  std::atomic<int> current_{0};
};

using SystemThreadLocale = WindowsThreadLocale;
#else
using SystemThreadLocale = StandInThreadLocale;
#endif

// Locale ids listed in the environment variable VX3WT_REFUSE_LOCALE (comma-separated, decimal or
// 0x hexadecimal), for trying out the program's answer to a refused locale.
std::vector<int> RefusedLocalesFromEnvironment();

}  // namespace vx3::platform
