// SPDX-License-Identifier: GPL-2.0-or-later
// Sanitizer settings of the widget tests. Qt 5.15's offscreen platform
// plug-in never deletes the screen it creates when the application starts;
// the leak checker is told to ignore what is allocated while the application
// sets up its platform integration, and full stack traces at every
// allocation (Qt is built without frame pointers) let it see that.
#include <QtGlobal>

#if defined(__SANITIZE_ADDRESS__)
extern "C" Q_DECL_EXPORT const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" Q_DECL_EXPORT const char *__lsan_default_suppressions()
{
    return "leak:QGuiApplicationPrivate::createPlatformIntegration\n";
}
#endif
