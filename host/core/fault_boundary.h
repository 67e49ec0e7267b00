// fault_boundary.h - the one place every call into a module's code passes.
//
// A call into module code names its module, its plug-in (0 for c4d_main) and the call
// (ModuleCall). While it runs, the calling thread's slot holds that name, so that:
//   - a C++ exception the module throws is caught at the boundary (nothing crosses the C
//     boundary into the host), recorded as the current Host's module fault (its
//     HostServices' FaultRecord, core/services.h) and answered with
//     the call's fallback; the module is marked faulted and the host calls it no more, so
//     the command can end cleanly and report the fault (TakeModuleFault);
//   - a fatal signal raised while module code runs is reported with one line naming the
//     module file, the plug-in and the call, and the process ends with exit code 1
//     (InstallFatalSignalReport); a crash of the host's own code keeps its default action;
//   - a Watchdog that runs out names the module call running then.
// The fast path of a call is one relaxed load (is the module faulted?) and two relaxed
// stores (the thread's current call, set and restored); try/catch costs nothing unless
// something is thrown.
//
// What it cannot catch: a module that corrupts the host's memory without faulting, one that
// overflows the stack of a thread the host did not create, one that calls exit, and a
// deadlock without a watchdog.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

namespace host {

/// A loaded module as calls into it name it. Owned by its Module; lives while it is loaded.
struct ModuleState {
  std::string file;        ///< the module file's path
  std::string identifier;  ///< its module identifier (may be empty)
  std::atomic<bool> faulted{false};  ///< it threw: the host calls it no more
};

/// One kind of call into one module and plug-in: what the boundary names.
struct ModuleCall {
  const ModuleState* module = nullptr;
  int32_t pluginId = 0;   ///< 0 for calls of c4d_main
  const char* call = "";  ///< "Output", "c4d_main action 2 (start)", ...
};

/// "module <file>, plug-in <id>, <call>" (no plug-in for c4d_main).
std::string DescribeModuleCall(const ModuleCall& call);

/// A fault of module code: which call, and what happened.
struct ModuleFault {
  std::string where;  ///< DescribeModuleCall of the call
  std::string call;   ///< the call alone ("c4d_main action 2 (start)", "Output")
  std::string what;   ///< "threw an exception (...)", ...
  std::string ToString() const { return where + ": " + what; }
};

/// The innermost call into module code running on this thread; null when none.
const ModuleCall* CurrentModuleCall();

/// Records a fault of call: the first one since the last TakeModuleFault is kept (for the
/// command to report), and the module is marked faulted.
void RecordModuleFault(const ModuleCall& call, const std::string& what);
/// The first fault recorded since the last call, if any (and forgets it).
bool TakeModuleFault(ModuleFault* out);
/// Whether a fault is recorded and not yet taken.
bool HasModuleFault();

namespace detail {

/// The per-thread slots: each thread that calls module code takes one for its life. A
/// signal handler reads its own thread's; a watchdog reads them all. Kept at namespace
/// scope on purpose, the one exception to HostServices owning the host's state: a signal
/// handler can read only what is there whatever the process is doing (no lock, no Host
/// being torn down), and a thread's slot outlives any one Host.
struct CallSlot {
  std::atomic<const ModuleCall*> current{nullptr};
  std::atomic<bool> used{false};
};
inline constexpr int kMaxCallSlots = 4096;
extern CallSlot callSlots[kMaxCallSlots];
/// This thread's slot, -1 before its first call (constant-initialised: reading it needs no
/// initialisation check, in a signal handler neither).
extern thread_local constinit int callSlot;
/// Takes a slot for this thread; -1 when all are taken (the thread's calls run unnamed).
int AssignCallSlot();

/// Marks this thread as running call until destroyed (nesting restores the outer call).
class CallScope {
 public:
  explicit CallScope(const ModuleCall& call) : slot_(callSlot) {
    if (slot_ < 0) slot_ = AssignCallSlot();
    if (slot_ < 0) return;
    previous_ = callSlots[slot_].current.load(std::memory_order_relaxed);
    callSlots[slot_].current.store(&call, std::memory_order_relaxed);
  }
  ~CallScope() {
    if (slot_ >= 0) callSlots[slot_].current.store(previous_, std::memory_order_relaxed);
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  const ModuleCall* previous_ = nullptr;
  int slot_;
};

/// Text of the exception being handled.
std::string CurrentExceptionText();

}  // namespace detail

/// Runs fn() as the call into module code; fallback when the module has faulted before or
/// fn throws (the fault is recorded). Never throws.
template <typename R, typename F>
R CallModule(const ModuleCall& call, R fallback, F&& fn) noexcept {
  if (call.module && call.module->faulted.load(std::memory_order_relaxed)) return fallback;
  try {
    detail::CallScope scope(call);
    return fn();
  } catch (...) {
    RecordModuleFault(call, detail::CurrentExceptionText());
  }
  return fallback;
}

/// CallModule for calls without a result.
template <typename F>
void CallModuleVoid(const ModuleCall& call, F&& fn) noexcept {
  if (call.module && call.module->faulted.load(std::memory_order_relaxed)) return;
  try {
    detail::CallScope scope(call);
    fn();
  } catch (...) {
    RecordModuleFault(call, detail::CurrentExceptionText());
  }
}

/// Reports fatal signals (access violations on Windows) raised in module code with one
/// line on stderr, "corvane-host: <module call>: crashed (<signal>)", and ends the process
/// with exit code 1. Once per process, from main.
void InstallFatalSignalReport();

/// Ends the process with exit code 1 and a message when it lives longer than seconds
/// (0: never): "corvane-host: <what> timed out after N s in <module call>" naming the
/// module call then running, if any. Stopped by its destructor.
class Watchdog {
 public:
  Watchdog(double seconds, std::string what);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace host
