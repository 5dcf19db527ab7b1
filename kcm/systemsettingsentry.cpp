// SPDX-License-Identifier: GPL-2.0-or-later
// Lists the settings page in Plasma's System Settings, which shows only
// plug-ins with JSON metadata. This small plug-in carries that metadata and
// hands every request to the factory of libkcm_pwexpiry, so the page itself
// stays one plug-in, loaded the same way by every shell.
#include <KPluginFactory>

#include <QLoggingCategory>
#include <QPluginLoader>

namespace
{
Q_LOGGING_CATEGORY(entryLog, "pwexpiry.systemsettings")

const char pagePlugin[] = "kcm_pwexpiry";
} // namespace

class SystemSettingsEntryFactory : public KPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KPluginFactory_iid FILE "kcm_pwexpiry.json")
    Q_INTERFACES(KPluginFactory)

protected:
    QObject *create(const char *iface, QWidget *parentWidget, QObject *parent, const QVariantList &args, const QString &keyword) override
    {
        Q_UNUSED(iface)
        Q_UNUSED(parentWidget)
        Q_UNUSED(keyword)
        // Found like the shell finds it: by name in Qt's plug-in directories.
        QPluginLoader loader(QString::fromLatin1(pagePlugin));
        auto *factory = qobject_cast<KPluginFactory *>(loader.instance());
        if (!factory) {
            qCWarning(entryLog) << "cannot load the settings page" << pagePlugin << loader.errorString();
            return nullptr;
        }
        return factory->create<QObject>(parent, args);
    }
};

#include "systemsettingsentry.moc"
