#pragma once
// Exceptions never cross the event loop. Every event handler runs inside
// Guarded(): an error that the handler does not catch ends the handler at
// that point and is shown in the application's error box (the error's own
// text, the application's title, the error icon); the program goes on.
#include <QObject>
#include <exception>
#include <utility>

namespace fm {

// Shows the error box for an uncaught error.
void ShowUncaught(const std::exception &e);
void ShowUncaughtUnknown();

template <class F>
void Guarded(F &&handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const std::exception &e) {
        ShowUncaught(e);
    } catch (...) {
        ShowUncaughtUnknown();
    }
}

namespace detail {
template <class F, class R, class C, class... A>
auto guardWith(F f, R (C::*)(A...) const)
{
    return [f = std::move(f)](A... a) { Guarded([&] { f(std::forward<A>(a)...); }); };
}
template <class F, class R, class C, class... A>
auto guardWith(F f, R (C::*)(A...))
{
    return [f = std::move(f)](A... a) mutable { Guarded([&] { f(std::forward<A>(a)...); }); };
}
} // namespace detail

// The handler (a lambda) wrapped so that it runs inside Guarded(), with the
// same parameters.
template <class F>
auto Guard(F handler)
{
    return detail::guardWith(std::move(handler), &F::operator());
}

// QObject::connect with the handler run inside Guarded().
template <class Sender, class Signal, class F>
QMetaObject::Connection Bind(const Sender *sender, Signal signal, const QObject *context, F handler)
{
    return QObject::connect(sender, signal, context, Guard(std::move(handler)));
}

} // namespace fm
