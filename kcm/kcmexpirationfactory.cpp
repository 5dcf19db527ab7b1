// SPDX-License-Identifier: GPL-2.0-or-later
// The plug-in's entry: a factory without JSON metadata that creates the page.
#include "kcmodule.h"

#include <KPluginFactory>

class Q_DECL_EXPORT KCMExpirationFactory : public KPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KPluginFactory_iid)
    Q_INTERFACES(KPluginFactory)

public:
    KCMExpirationFactory();
    ~KCMExpirationFactory() override;
};

namespace
{
// The page's parent is the parent object when that is a widget; the separate
// parent-widget argument is not used.
QObject *createPage(QWidget *parentWidget, QObject *parent, const QVariantList &args)
{
    Q_UNUSED(parentWidget)
    return new PasswordExpirationPolicy::KCModule(qobject_cast<QWidget *>(parent), args);
}
} // namespace

KCMExpirationFactory::KCMExpirationFactory()
{
    // The keyword form is the one way to register an instance function of our
    // own; the default one asserts on a parent that is not a widget.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    registerPlugin<PasswordExpirationPolicy::KCModule>(QString(), &createPage);
    QT_WARNING_POP
}

KCMExpirationFactory::~KCMExpirationFactory() = default;

#include "kcmexpirationfactory.moc"
