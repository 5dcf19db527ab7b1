// SPDX-License-Identifier: GPL-2.0-or-later
// The settings page as the settings shell gets it: the built plug-in loaded
// with QPluginLoader, the page created by the plug-in's factory.
#pragma once

#include <KCModule>
#include <KMessageWidget>
#include <KPluginFactory>

#include <QPluginLoader>
#include <QTest>
#include <QVariantMap>

namespace PageFixture
{

// The plug-in built with the tests, or a copy of it that a system test names.
inline QString pluginPath()
{
    return qEnvironmentVariable("PWEXPIRY_PLUGIN", QStringLiteral(PWEXPIRY_PLUGIN));
}

inline KPluginFactory *factory()
{
    QPluginLoader loader(pluginPath());
    auto *factory = qobject_cast<KPluginFactory *>(loader.instance());
    if (!factory) {
        qWarning() << "cannot load" << loader.fileName() << loader.errorString();
    }
    return factory;
}

// A new page with the given parent, or null when the plug-in cannot make one.
inline KCModule *createPage(QWidget *parent = nullptr)
{
    KPluginFactory *pluginFactory = factory();
    return pluginFactory ? pluginFactory->create<KCModule>(parent, QVariantList()) : nullptr;
}

template<typename T>
T *widget(QObject *page, const char *name)
{
    T *found = page->findChild<T *>(QString::fromLatin1(name));
    if (!found) {
        qWarning() << "no widget" << name;
    }
    return found;
}

// Every message posted to the framework's message manager: {title, type, text, state}.
inline QVariantList postedMessages(QObject *page)
{
    QObject *manager = page->findChild<QObject *>(QStringLiteral("messagesManager"));
    return manager ? manager->property("messages").toList() : QVariantList();
}

inline QVariantMap message(const QString &title, const QString &text)
{
    return QVariantMap{
        {QStringLiteral("title"), title},
        {QStringLiteral("type"), 3},
        {QStringLiteral("text"), text},
        {QStringLiteral("state"), 0},
    };
}

// Banners that a person sees on the page now.
inline QList<KMessageWidget *> shownBanners(QWidget *page)
{
    QList<KMessageWidget *> shown;
    const QList<KMessageWidget *> banners = page->findChildren<KMessageWidget *>();
    for (KMessageWidget *banner : banners) {
        if (banner->isVisibleTo(page)) {
            shown.append(banner);
        }
    }
    return shown;
}

// KCModule's signal changed(bool), beside its deprecated slot changed().
const auto changedSignal = qOverload<bool>(&KCModule::changed);

// The values changed(bool) carried, in order.
inline QList<bool> changedValues(const QList<QList<QVariant>> &spy)
{
    QList<bool> values;
    for (const QList<QVariant> &arguments : spy) {
        values.append(arguments.at(0).toBool());
    }
    return values;
}

} // namespace PageFixture
