#pragma once
// The top-level error display: the one place where an unexpected error's text
// is shown (an error box titled with the application title, installed by the
// widget layer; standard error before that). Every event handler that can fail
// runs its body through Guarded, so no exception crosses the event loop.
#include "base/kr_error.h"

#include <QString>
#include <exception>
#include <functional>

using TopLevelErrorDisplay = std::function<void(const QString &message)>;

void SetTopLevelErrorDisplay(TopLevelErrorDisplay display);
void ShowTopLevelError(const QString &message);

template <class F>
bool Guarded(F &&body) noexcept
{
    try {
        body();
        return true;
    } catch (const std::exception &e) {
        ShowTopLevelError(ErrorMessageOf(e));
    } catch (...) {
        ShowTopLevelError(QStringLiteral("Erro inesperado."));
    }
    return false;
}
