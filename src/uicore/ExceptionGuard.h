#pragma once

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

// The application's top-level handler: shows the message of an exception that no handler caught in
// a message box and returns, so the program goes on.
void ApplicationHandleException(const std::exception& e);
void ApplicationHandleUnknownException();
// The window the handler's message box belongs to (the main window while it lives); without one, the
// active window.
class QWidget;
void SetApplicationMessageParent(QWidget* window);

// Qt must never see an exception unwind through its frames: every slot, event handler and timer
// callback of the program is entered through this guard.
template <class F>
void Guarded(F&& f) noexcept
{
  try {
    std::forward<F>(f)();
  } catch (const std::exception& e) {
    ApplicationHandleException(e);
  } catch (...) {
    ApplicationHandleUnknownException();
  }
}

// A slot that runs f through the guard: connect(sender, &X::signal, guard([this] { ... })).
template <class F>
auto guard(F f)
{
  return [f = std::move(f)](auto&&... args) {
    Guarded([&] {
      // Signals may carry arguments a handler does not want (QAction::triggered's checked flag).
      if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
        f(std::forward<decltype(args)>(args)...);
      else
        f();
    });
  };
}
