// fault_boundary.cpp - the calls into module code, their faults, fatal signals, watchdogs.
#include "core/fault_boundary.h"

#include "core/services.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <typeinfo>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace host {
namespace {

// ---- Per-thread slots -----------------------------------------------------------------
// Each thread that calls module code takes a slot for its life. The signal handler reads
// its own thread's slot; a watchdog reads them all.
//
// These slots (detail::callSlots, detail::callSlot) are the one piece of the host's state
// kept at namespace scope on purpose: a fatal-signal handler may only read memory that is
// there whatever the process is doing (no lock, no pointer that a Host's teardown may be
// clearing), and a thread's slot outlives any one Host. Everything else (the recorded
// fault included) lives in HostServices (core/services.h).

using detail::callSlot;
using detail::callSlots;
using detail::kMaxCallSlots;

#if !defined(_WIN32)
constexpr size_t kAltStackBytes = 64 * 1024;
#endif

void ReleaseSlot(int slot) {
  callSlots[slot].current.store(nullptr);
  callSlots[slot].used.store(false);
}

#if defined(_WIN32)
// mingw runs the destructors of thread_local objects after their storage is gone, so the
// slot goes back through a fiber-local value's callback instead.
void WINAPI OnThreadEnd(void* value) {
  if (value) ReleaseSlot(static_cast<int>(reinterpret_cast<intptr_t>(value)) - 1);
}
DWORD SlotKey() {
  static const DWORD key = FlsAlloc(OnThreadEnd);
  return key;
}
#else
// Gives the slot back (and the thread's signal stack) when the thread ends. callSlot is
// left alone: it is not read again on this thread.
struct SlotOwner {
  int slot = -1;
  void* altStack = nullptr;
  ~SlotOwner() {
    if (slot < 0) return;
    ReleaseSlot(slot);
    if (altStack) {
      stack_t none{};
      none.ss_flags = SS_DISABLE;
      sigaltstack(&none, nullptr);
      std::free(altStack);
    }
  }
};
#endif

int AssignSlot() {
  for (int i = 0; i < kMaxCallSlots; ++i) {
    bool expected = false;
    if (callSlots[i].used.load(std::memory_order_relaxed) || !callSlots[i].used.compare_exchange_strong(expected, true))
      continue;
    callSlot = i;
#if defined(_WIN32)
    if (SlotKey() != FLS_OUT_OF_INDEXES) FlsSetValue(SlotKey(), reinterpret_cast<void*>(intptr_t{i} + 1));
#else
    thread_local SlotOwner owner;
    owner.slot = i;
    // A crash reported from a deep module stack needs a stack of its own.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
      if (void* mem = std::malloc(kAltStackBytes)) {
        stack_t alt{};
        alt.ss_sp = mem;
        alt.ss_size = kAltStackBytes;
        if (sigaltstack(&alt, nullptr) == 0)
          owner.altStack = mem;
        else
          std::free(mem);
      }
    }
#endif
    return i;
  }
  return -1;  // every slot taken: the call runs unnamed
}

// ---- Reports written from a signal handler or a dying watchdog ------------------------
// Only write(2) and fixed buffers: nothing here may allocate or lock.

struct LineBuffer {
  char text[2048];
  size_t size = 0;
  void Add(const char* s) {
    while (*s && size + 1 < sizeof text) text[size++] = *s++;
  }
  void AddNumber(long long n) {
    char digits[24];
    int i = 0;
    bool negative = n < 0;
    unsigned long long v = negative ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    do {
      digits[i++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v && i < 23);
    if (negative) Add("-");
    while (i > 0) {
      char c[2] = {digits[--i], 0};
      Add(c);
    }
  }
  void AddCall(const ModuleCall& call) {
    Add("module ");
    Add(call.module ? call.module->file.c_str() : "(unknown)");
    if (call.pluginId != 0) {
      Add(", plug-in ");
      AddNumber(call.pluginId);
    }
    Add(", ");
    Add(call.call);
  }
  void WriteToStderr() {
    if (size + 1 < sizeof text) text[size++] = '\n';
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size), &written, nullptr);
#else
    size_t done = 0;
    while (done < size) {
      ssize_t n = write(STDERR_FILENO, text + done, size - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
#endif
  }
};

[[noreturn]] void EndProcess() {
#if defined(_WIN32)
  ExitProcess(1);
#else
  _exit(1);
#endif
}

#if defined(_WIN32)
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  const ModuleCall* call = CurrentModuleCall();
  if (!call) return EXCEPTION_CONTINUE_SEARCH;
  LineBuffer line;
  line.Add("corvane-host: ");
  line.AddCall(*call);
  line.Add(": crashed (exception 0x");
  char hex[9];
  DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
  for (int i = 7; i >= 0; --i) {
    hex[7 - i] = "0123456789abcdef"[(code >> (i * 4)) & 0xF];
  }
  hex[8] = 0;
  line.Add(hex);
  line.Add(")");
  line.WriteToStderr();
  EndProcess();
}
#else
const char* SignalName(int sig) {
  switch (sig) {
    case SIGSEGV:
      return "SIGSEGV, invalid memory access";
    case SIGBUS:
      return "SIGBUS, bus error";
    case SIGFPE:
      return "SIGFPE, arithmetic fault";
    case SIGILL:
      return "SIGILL, illegal instruction";
    case SIGABRT:
      return "SIGABRT, aborted";
    default:
      return "fatal signal";
  }
}

void OnFatalSignal(int sig, siginfo_t*, void*) {
  const ModuleCall* call = CurrentModuleCall();
  if (!call) {
    // The host's own fault: its default action (a core dump, the usual exit status).
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  LineBuffer line;
  line.Add("corvane-host: ");
  line.AddCall(*call);
  line.Add(": crashed (signal ");
  line.AddNumber(sig);
  line.Add(", ");
  line.Add(SignalName(sig));
  line.Add(")");
  line.WriteToStderr();
  EndProcess();
}
#endif

}  // namespace

// ---- Calls ------------------------------------------------------------------------------

std::string DescribeModuleCall(const ModuleCall& call) {
  std::string text = "module " + (call.module ? call.module->file : std::string("(unknown)"));
  if (call.pluginId != 0) text += ", plug-in " + std::to_string(call.pluginId);
  return text + ", " + call.call;
}

const ModuleCall* CurrentModuleCall() {
  const int slot = callSlot;
  return slot < 0 ? nullptr : callSlots[slot].current.load(std::memory_order_relaxed);
}

namespace detail {

CallSlot callSlots[kMaxCallSlots];
constinit thread_local int callSlot = -1;

int AssignCallSlot() { return AssignSlot(); }

std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return std::string("threw an exception (") + e.what() + ")";
  } catch (...) {
    return "threw an exception that is not a std::exception";
  }
}

}  // namespace detail

void RecordModuleFault(const ModuleCall& call, const std::string& what) {
  if (call.module) const_cast<ModuleState*>(call.module)->faulted.store(true);
  ModuleFault fault{DescribeModuleCall(call), call.call, what};
  FaultRecord& record = Services().faults;
  std::lock_guard lock(record.mutex);
  if (!record.recorded) {
    record.recorded = true;
    record.first = std::move(fault);
    record.pending.store(true);
  }
}

bool TakeModuleFault(ModuleFault* out) {
  FaultRecord& record = Services().faults;
  std::lock_guard lock(record.mutex);
  if (!record.recorded) return false;
  if (out) *out = record.first;
  record.recorded = false;
  record.pending.store(false);
  return true;
}

bool HasModuleFault() { return Services().faults.pending.load(); }

void InstallFatalSignalReport() {
#if defined(_WIN32)
  SetUnhandledExceptionFilter(OnUnhandledException);
#else
  // The main thread's stack for the report; other threads get theirs with their slot.
  static char mainAltStack[kAltStackBytes];
  stack_t alt{};
  alt.ss_sp = mainAltStack;
  alt.ss_size = sizeof mainAltStack;
  sigaltstack(&alt, nullptr);
  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  // A second fault while reporting gets the default action.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &action, nullptr);
#endif
}

// ---- Watchdog ---------------------------------------------------------------------------

struct Watchdog::Impl {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  std::thread thread;
};

Watchdog::Watchdog(double seconds, std::string what) : impl_(nullptr) {
  if (!(seconds > 0)) return;
  impl_ = new Impl;
  impl_->thread = std::thread([impl = impl_, seconds, what = std::move(what)] {
    std::unique_lock lock(impl->mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    if (impl->wake.wait_until(lock, deadline, [impl] { return impl->stop; })) return;
    // Out of time: name a module call that is running, if any.
    LineBuffer line;
    line.Add("corvane-host: ");
    line.Add(what.c_str());
    line.Add(" timed out after ");
    char number[32];
    std::snprintf(number, sizeof number, "%g", seconds);
    line.Add(number);
    line.Add(" s");
    for (const detail::CallSlot& slot : callSlots) {
      if (const ModuleCall* call = slot.current.load()) {
        line.Add(" in ");
        line.AddCall(*call);
        break;
      }
    }
    line.WriteToStderr();
    EndProcess();
  });
}

Watchdog::~Watchdog() {
  if (!impl_) return;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stop = true;
  }
  impl_->wake.notify_all();
  impl_->thread.join();
  delete impl_;
}

}  // namespace host
