// SPDX-License-Identifier: GPL-2.0-or-later
// The settings page created through the built plug-in's factory, as the
// settings shell creates it: the plug-in entry, the form and the rules that
// switch its fields on user action. Nothing here loads or saves the policy
// (the page is never shown, so the framework never loads it); those paths run
// against real files in the sandbox (kcmpolicytest).
#include "pagefixture.h"

#include <KPluginMetaData>

#include <QCheckBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QJsonObject>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace PageFixture;

namespace
{
// Runs a function each time a signal it is connected to is emitted; the
// page's changed(bool) is reached by name, as it has no common type in both
// versions of KDE Frameworks.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    explicit ChangeRecorder(std::function<void()> onEmit)
        : m_onEmit(std::move(onEmit))
    {
    }

public Q_SLOTS:
    void record()
    {
        m_onEmit();
    }

private:
    std::function<void()> m_onEmit;
};
} // namespace

class KcmFormTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void pluginEntry();
    void pageParent_data();
    void pageParent();
    void pageClass();
    void systemSettingsEntry();

    void layoutTree();
    void texts_data();
    void texts();
    void initialState();
    void toolButtonIcons_data();
    void toolButtonIcons();

    void agingSwitch_data();
    void agingSwitch();
    void expirySwitch();
    void reminderGroup();
    void reminderCheckBoxesOnlyMarkChanged_data();
    void reminderCheckBoxesOnlyMarkChanged();

private:
    Page m_page;
};

void KcmFormTest::init()
{
    m_page.reset(createPage());
    QVERIFY(m_page);
}

void KcmFormTest::cleanup()
{
    m_page.reset();
}

void KcmFormTest::pluginEntry()
{
    QPluginLoader loader(pluginPath());
    const QJsonObject metaData = loader.metaData();
    QCOMPARE(metaData.value(QStringLiteral("IID")).toString(), QStringLiteral("org.kde.KPluginFactory"));
    QCOMPARE(metaData.value(QStringLiteral("className")).toString(), QStringLiteral("KCMExpirationFactory"));
#if PWEXPIRY_KF_MAJOR_VERSION >= 6
    // KF6's shells find a settings module by its metadata.
    QCOMPARE(metaData.value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("KPlugin")).toObject().value(QStringLiteral("Name")).toString(),
             QStringLiteral("Password Expiration Policy"));
#else
    QVERIFY2(metaData.value(QStringLiteral("MetaData")).toObject().isEmpty(), "the plug-in carries no JSON metadata");
#endif

    QObject *instance = loader.instance();
    QVERIFY(instance);
    QCOMPARE(instance->metaObject()->className(), "KCMExpirationFactory");
    QVERIFY(qobject_cast<KPluginFactory *>(instance));
    QCOMPARE(QPluginLoader(pluginPath()).instance(), instance);
}

void KcmFormTest::pageParent_data()
{
    QTest::addColumn<QString>("parentKind");
    QTest::addColumn<bool>("expectParent");

    QTest::newRow("widget parent") << QStringLiteral("widget") << true;
    QTest::newRow("no parent") << QStringLiteral("none") << false;
    QTest::newRow("parent that is no widget") << QStringLiteral("object") << false;
}

void KcmFormTest::pageParent()
{
    QFETCH(QString, parentKind);
    QFETCH(bool, expectParent);

    QWidget parentWidget;
    QObject parentObject;
    QObject *parent = parentKind == QLatin1String("widget") ? &parentWidget : parentKind == QLatin1String("object") ? &parentObject : nullptr;

    KPluginFactory *pluginFactory = factory();
    QVERIFY(pluginFactory);
    QObject *created = pluginFactory->create<QObject>(parent, QVariantList{QStringLiteral("an argument")});
    QVERIFY(created);
    std::unique_ptr<QObject> owned(expectParent ? nullptr : created);
    QVERIFY(qobject_cast<KCModule *>(created));
    QCOMPARE(created->parent(), expectParent ? static_cast<QObject *>(&parentWidget) : nullptr);
    QWidget *page = pageWidget(created);
    QVERIFY(page);
    QCOMPARE(page->parentWidget(), expectParent ? &parentWidget : nullptr);
    QCOMPARE(page->parent(), expectParent ? static_cast<QObject *>(&parentWidget) : nullptr);
}

void KcmFormTest::pageClass()
{
    const QMetaObject *metaObject = m_page->metaObject();
    QCOMPARE(metaObject->className(), "PasswordExpirationPolicy::KCModule");

    QStringList ownMethods;
    for (int i = metaObject->methodOffset(); i < metaObject->methodCount(); ++i) {
        const QMetaMethod method = metaObject->method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Public);
        QCOMPARE(method.returnType(), int(QMetaType::Void));
        ownMethods.append(QString::fromLatin1(method.methodSignature()));
    }
    QCOMPARE(ownMethods, (QStringList{QStringLiteral("access()"), QStringLiteral("change()")}));
    QCOMPARE(metaObject->propertyCount(), metaObject->propertyOffset());

    QStringList bases;
    for (const QMetaObject *base = metaObject->superClass(); base; base = base->superClass()) {
        bases.append(QString::fromLatin1(base->className()));
    }
    QCOMPARE(bases.mid(0, 4),
             (QStringList{QStringLiteral("KCMTN::SecurityKCModule"),
                          QStringLiteral("KCMOV::OrvaneKCModule"),
                          QString::fromLatin1(moduleBaseClass),
                          QStringLiteral("QWidget")}));

    // The framework's slots, in its order, with the page's two among them.
    const QMetaObject *framework = metaObject->superClass()->superClass();
    QStringList frameworkSlots;
    for (int i = framework->methodOffset(); i < framework->methodCount(); ++i) {
        if (framework->method(i).methodType() == QMetaMethod::Slot) {
            frameworkSlots.append(QString::fromLatin1(framework->method(i).name()));
        }
    }
    QCOMPARE(frameworkSlots,
             (QStringList{QStringLiteral("isValid"),
                          QStringLiteral("access"),
                          QStringLiteral("change"),
                          QStringLiteral("chooseModule"),
                          QStringLiteral("unchooseModule")}));
}

void KcmFormTest::systemSettingsEntry()
{
    // The entry finds the page's plug-in in Qt's plug-in directories.
    QCoreApplication::addLibraryPath(QFileInfo(pluginPath()).absolutePath());
    const KPluginMetaData metaData(QStringLiteral(PWEXPIRY_SYSTEMSETTINGS_PLUGIN));
    QVERIFY(metaData.isValid());
    QCOMPARE(metaData.pluginId(), QStringLiteral(PWEXPIRY_SYSTEMSETTINGS_ID));
    QCOMPARE(metaData.name(), QStringLiteral("Password Expiration Policy"));
    QCOMPARE(metaData.value(QStringLiteral("X-KDE-System-Settings-Parent-Category")), QStringLiteral("system-administration"));

    QWidget parent;
    const auto result = KPluginFactory::instantiatePlugin<KCModule>(metaData, &parent);
    QVERIFY2(result.plugin, qPrintable(result.errorString));
    QWidget *page = pageWidget(result.plugin);
    QVERIFY(page);
    // The very page class of the page's plug-in, not a copy of it.
    QCOMPARE(page->metaObject(), m_page->metaObject());
    QCOMPARE(page->parentWidget(), &parent);
    QVERIFY(page->findChild<QCheckBox *>(QStringLiteral("passMinDaysCheckBox")));
}

namespace
{
QString itemName(QLayoutItem *item)
{
    if (item->widget()) {
        return item->widget()->objectName();
    }
    if (item->layout()) {
        return item->layout()->objectName();
    }
    return item->spacerItem() ? QStringLiteral("<spacer>") : QStringLiteral("<other>");
}

QStringList itemNames(QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        names.append(itemName(layout->itemAt(i)));
    }
    return names;
}
} // namespace

void KcmFormTest::layoutTree()
{
    auto *top = qobject_cast<QVBoxLayout *>(m_page->layout());
    QVERIFY(top);
    QCOMPARE(top->objectName(), QStringLiteral("verticalLayout_6"));
    QCOMPARE(itemNames(top),
             (QStringList{QStringLiteral("verticalLayout"),
                          QStringLiteral("verticalLayout_2"),
                          QStringLiteral("verticalLayout_3"),
                          QStringLiteral("verticalLayout_4"),
                          QStringLiteral("verticalLayout_5"),
                          QStringLiteral("receiveNotifyGroupBox"),
                          QStringLiteral("importButton"),
                          QStringLiteral("<spacer>")}));

    const QList<QPair<const char *, QStringList>> pairs{
        {"verticalLayout", {QStringLiteral("passMinDaysCheckBox"), QStringLiteral("passMinDaysSpinBox")}},
        {"verticalLayout_2", {QStringLiteral("passMaxDaysCheckBox"), QStringLiteral("passMaxDaysSpinBox")}},
        {"verticalLayout_3", {QStringLiteral("passWarnAgeCheckBox"), QStringLiteral("passWarnAgeSpinBox")}},
        {"verticalLayout_4", {QStringLiteral("inactiveDaysCheckBox"), QStringLiteral("inactiveDaysSpinBox")}},
        {"verticalLayout_5", {QStringLiteral("expireDateCheckBox"), QStringLiteral("expireDateEdit")}},
    };
    for (const auto &pair : pairs) {
        auto *layout = widget<QVBoxLayout>(m_page.get(), pair.first);
        QVERIFY(layout);
        QCOMPARE(layout->spacing(), 4);
        QCOMPARE(itemNames(layout), pair.second);
        for (const QString &name : pair.second) {
            QCOMPARE(m_page->findChild<QWidget *>(name)->parentWidget(), m_page.get());
        }
    }

    auto *group = widget<QGroupBox>(m_page.get(), "receiveNotifyGroupBox");
    QVERIFY(group);
    QCOMPARE(group->layout()->objectName(), QStringLiteral("verticalLayout_7"));
    QCOMPARE(itemNames(group->layout()),
             (QStringList{QStringLiteral("localUserCheckBox"),
                          QStringLiteral("horizontalLayout_3"),
                          QStringLiteral("notifyDaysLabel"),
                          QStringLiteral("notifyDaysSpinBox")}));
    auto *row = widget<QHBoxLayout>(m_page.get(), "horizontalLayout_3");
    QVERIFY(row);
    QCOMPARE(row->spacing(), 0);
    QCOMPARE(itemNames(row), (QStringList{QStringLiteral("domainUserCheckBox"), QStringLiteral("toolButton"), QStringLiteral("<spacer>")}));
    for (const char *name : {"localUserCheckBox", "domainUserCheckBox", "toolButton", "notifyDaysLabel", "notifyDaysSpinBox"}) {
        QCOMPARE(widget<QWidget>(m_page.get(), name)->parentWidget(), group);
    }

    QSpacerItem *rowSpacer = row->itemAt(2)->spacerItem();
    QCOMPARE(rowSpacer->sizeHint(), QSize(40, 20));
    QCOMPARE(rowSpacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(rowSpacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QSpacerItem *pageSpacer = top->itemAt(7)->spacerItem();
    QCOMPARE(pageSpacer->sizeHint(), QSize(0, 0));
    QCOMPARE(pageSpacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(pageSpacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
}

void KcmFormTest::texts_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, const char *property, const char *text) {
        QTest::addRow("%s %s", name, property) << QString::fromLatin1(name) << QByteArray(property) << QString::fromUtf8(text);
    };
    row("passMinDaysCheckBox", "text", "The minimum number of days between password changes:");
    row("passMinDaysSpinBox", "suffix", "");
    row("passMaxDaysCheckBox", "text", "The maximum number of days between password changes:");
    row("passMaxDaysSpinBox", "suffix", "");
    row("passWarnAgeCheckBox", "text", "The number of days of warning before a password change is required:");
    row("passWarnAgeSpinBox", "suffix", "");
    row("inactiveDaysCheckBox", "text", "Dissable an account after the password has been expired for a number of days:");
    row("inactiveDaysSpinBox", "suffix", "");
    row("expireDateCheckBox", "text", "Account expire date:");
    row("receiveNotifyGroupBox", "toolTip", "Applies to all users in system");
    row("receiveNotifyGroupBox", "title", "Remind about password expiration");
    row("localUserCheckBox", "toolTip", "Applies to all users in system");
    row("localUserCheckBox", "text", "Local user");
    row("domainUserCheckBox", "text", "Domain user (Active Directory)");
    row("toolButton",
        "toolTip",
        "When enabling reminders for domain users, it is recommended to make sure that the correct entry for the domain controller (IP address and full "
        "domain name) is present in /etc/hosts. Otherwise, there may be errors when accessing LDAP.");
    row("toolButton", "text", "...");
    row("notifyDaysLabel", "text", "The number of days before notification of need to change password is issued:");
    row("notifyDaysSpinBox", "suffix", "");
    row("importButton", "toolTip", "Import from template");
    row("importButton", "text", "...");
}

void KcmFormTest::texts()
{
    QFETCH(QString, objectName);
    QFETCH(QByteArray, property);
    QFETCH(QString, text);

    QWidget *target = m_page->findChild<QWidget *>(objectName);
    QVERIFY2(target, qPrintable(objectName));
    QCOMPARE(target->property(property.constData()).toString(), text);
}

void KcmFormTest::initialState()
{
    QCOMPARE(m_page->objectName(), QStringLiteral("PasswordExpirationPolicy__KCModule"));
    QCOMPARE(m_page->size(), QSize(562, 542));

    for (const char *name : {"passMinDaysCheckBox",
                             "passMaxDaysCheckBox",
                             "passWarnAgeCheckBox",
                             "inactiveDaysCheckBox",
                             "expireDateCheckBox",
                             "localUserCheckBox",
                             "domainUserCheckBox"}) {
        auto *checkBox = widget<QCheckBox>(m_page.get(), name);
        QVERIFY(checkBox);
        QVERIFY2(!checkBox->isChecked(), name);
    }

    const struct {
        const char *name;
        int minimum;
        int value;
    } spinBoxes[] = {
        {"passMinDaysSpinBox", 0, 0},
        {"passMaxDaysSpinBox", -1, -1},
        {"passWarnAgeSpinBox", -1, -1},
        {"inactiveDaysSpinBox", -1, -1},
    };
    for (const auto &expected : spinBoxes) {
        auto *spinBox = widget<QSpinBox>(m_page.get(), expected.name);
        QVERIFY(spinBox);
        QVERIFY2(!spinBox->isEnabled(), expected.name);
        QCOMPARE(spinBox->minimum(), expected.minimum);
        QCOMPARE(spinBox->maximum(), 99999);
        QCOMPARE(spinBox->value(), expected.value);
        QCOMPARE(spinBox->suffix(), QString());
    }

    auto *notifyDays = widget<QSpinBox>(m_page.get(), "notifyDaysSpinBox");
    QCOMPARE(notifyDays->minimum(), 0);
    QCOMPARE(notifyDays->maximum(), 99999);
    QCOMPARE(notifyDays->value(), 0);

    auto *group = widget<QGroupBox>(m_page.get(), "receiveNotifyGroupBox");
    QVERIFY(group->isCheckable());
    QVERIFY(!group->isChecked());
    // The unchecked group disables what it holds.
    QVERIFY(!notifyDays->isEnabled());
    QVERIFY(!widget<QCheckBox>(m_page.get(), "localUserCheckBox")->isEnabled());

    auto *expireDate = widget<QDateEdit>(m_page.get(), "expireDateEdit");
    QVERIFY(!expireDate->isEnabled());
    QCOMPARE(expireDate->minimumDate(), QDate::currentDate());
    QCOMPARE(expireDate->date(), QDate::currentDate());
    QVERIFY(expireDate->calendarPopup());
    QCOMPARE(expireDate->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(expireDate->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(expireDate->displayFormat(), QDateEdit().displayFormat());

    QVERIFY(widget<QToolButton>(m_page.get(), "toolButton")->autoRaise());
    QVERIFY(!widget<QToolButton>(m_page.get(), "importButton")->autoRaise());
    QVERIFY2(widget<QToolButton>(m_page.get(), "importButton")->isHidden(), "the import button is hidden");
    QVERIFY2(!widget<QToolButton>(m_page.get(), "toolButton")->isHidden(), "the hint button stays");

    // The framework shows its reset button; no message and a neutral state.
    auto *reset = widget<QPushButton>(m_page.get(), "resetButton");
    QVERIFY(reset);
    QVERIFY(reset->isVisibleTo(m_page.get()));
    QVERIFY(postedMessages(m_page.get()).isEmpty());
    QVERIFY(shownBanners(m_page.get()).isEmpty());
    QCOMPARE(m_page.buttons(), int(KCModule::Apply));
}

void KcmFormTest::toolButtonIcons_data()
{
    QTest::addColumn<bool>("themeHasIcons");

    QTest::newRow("theme without the icons") << false;
    QTest::newRow("theme with the icons") << true;
}

void KcmFormTest::toolButtonIcons()
{
    QFETCH(bool, themeHasIcons);

    QTemporaryDir themes;
    QVERIFY2(themes.isValid(), qPrintable(themes.errorString()));
    QVERIFY(QDir(themes.path()).mkpath(QStringLiteral("pwexpirytest/16x16/actions")));
    QFile index(themes.filePath(QStringLiteral("pwexpirytest/index.theme")));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=pwexpirytest\nDirectories=16x16/actions\n\n[16x16/actions]\nSize=16\nType=Fixed\n");
    index.close();
    if (themeHasIcons) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::blue);
        QVERIFY(pixmap.save(themes.filePath(QStringLiteral("pwexpirytest/16x16/actions/dialog-information.png"))));
        QVERIFY(pixmap.save(themes.filePath(QStringLiteral("pwexpirytest/16x16/actions/download.png"))));
    }
    // Theme icons follow the current theme, so it stays set until the end.
    const QStringList oldPaths = QIcon::themeSearchPaths();
    const QString oldTheme = QIcon::themeName();
    const auto restoreTheme = qScopeGuard([&] {
        QIcon::setThemeSearchPaths(oldPaths);
        QIcon::setThemeName(oldTheme);
    });
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName(QStringLiteral("pwexpirytest"));
    Page page(createPage());
    QVERIFY(page);

    const QList<QPair<const char *, QString>> buttons{{"toolButton", QStringLiteral("dialog-information")}, {"importButton", QStringLiteral("download")}};
    for (const auto &button : buttons) {
        auto *toolButton = widget<QToolButton>(page.get(), button.first);
        QVERIFY(toolButton);
        QCOMPARE(toolButton->text(), QStringLiteral("..."));
        if (themeHasIcons) {
            QVERIFY2(!toolButton->icon().isNull(), button.first);
        } else {
            // The fallback icon, built from the path ".", has no image: Qt 5
            // counts such an icon as not null, Qt 6 as null; in both the
            // button shows its text.
            QVERIFY2(toolButton->icon().pixmap(QSize(16, 16)).isNull(), button.first);
        }
        QCOMPARE(toolButton->icon().name(), themeHasIcons ? button.second : QString());
    }
}

void KcmFormTest::agingSwitch_data()
{
    QTest::addColumn<QString>("checkBoxName");
    QTest::addColumn<QString>("spinBoxName");
    QTest::addColumn<int>("onMinimum");
    QTest::addColumn<int>("offValue");

    QTest::newRow("minimum days") << QStringLiteral("passMinDaysCheckBox") << QStringLiteral("passMinDaysSpinBox") << 1 << 0;
    QTest::newRow("maximum days") << QStringLiteral("passMaxDaysCheckBox") << QStringLiteral("passMaxDaysSpinBox") << 0 << -1;
    QTest::newRow("warning days") << QStringLiteral("passWarnAgeCheckBox") << QStringLiteral("passWarnAgeSpinBox") << 0 << -1;
    QTest::newRow("inactive days") << QStringLiteral("inactiveDaysCheckBox") << QStringLiteral("inactiveDaysSpinBox") << 0 << -1;
}

void KcmFormTest::agingSwitch()
{
    QFETCH(QString, checkBoxName);
    QFETCH(QString, spinBoxName);
    QFETCH(int, onMinimum);
    QFETCH(int, offValue);

    auto *checkBox = m_page->findChild<QCheckBox *>(checkBoxName);
    auto *spinBox = m_page->findChild<QSpinBox *>(spinBoxName);
    QVERIFY(checkBox && spinBox);

    // The shell hears of the click before the spin box is switched.
    QList<bool> spinBoxEnabledAtChange;
    ChangeRecorder recorder([&] {
        spinBoxEnabledAtChange.append(spinBox->isEnabled());
    });
    QVERIFY(connect(m_page.get(), changedSignal, &recorder, SLOT(record())));
    QSignalSpy changed(m_page.get(), changedSignal);

    QTest::mouseClick(checkBox, Qt::LeftButton);
    QVERIFY(checkBox->isChecked());
    QVERIFY(spinBox->isEnabled());
    QCOMPARE(spinBox->minimum(), onMinimum);
    QCOMPARE(spinBox->maximum(), 99999);
    QCOMPARE(spinBox->value(), onMinimum);
    QCOMPARE(spinBox->suffix(), QStringLiteral(" d"));
    QVERIFY(!changed.isEmpty());
    QVERIFY(!changedValues(changed).contains(false));
    QCOMPARE(spinBoxEnabledAtChange.first(), false);

    changed.clear();
    spinBox->setValue(onMinimum - 1);
    QCOMPARE(spinBox->value(), onMinimum);
    spinBox->setValue(120000);
    QCOMPARE(spinBox->value(), 99999);
    QCOMPARE(changedValues(changed), QList<bool>{true});

    changed.clear();
    QTest::mouseClick(checkBox, Qt::LeftButton);
    QVERIFY(!checkBox->isChecked());
    QVERIFY(!spinBox->isEnabled());
    QCOMPARE(spinBox->minimum(), offValue);
    QCOMPARE(spinBox->value(), offValue);
    QCOMPARE(spinBox->suffix(), QString());
    QVERIFY(!changed.isEmpty());
    QVERIFY(!changedValues(changed).contains(false));

    // Switched on again, the spin box starts from its minimum, not from the old value.
    QTest::mouseClick(checkBox, Qt::LeftButton);
    QCOMPARE(spinBox->value(), onMinimum);

    // The other aging fields are left alone.
    const QList<QSpinBox *> spinBoxes = m_page->findChildren<QSpinBox *>();
    for (QSpinBox *other : spinBoxes) {
        if (other != spinBox && other->objectName() != QLatin1String("notifyDaysSpinBox")) {
            QVERIFY2(!other->isEnabled(), qPrintable(other->objectName()));
            QCOMPARE(other->suffix(), QString());
        }
    }
}

void KcmFormTest::expirySwitch()
{
    auto *checkBox = widget<QCheckBox>(m_page.get(), "expireDateCheckBox");
    auto *dateEdit = widget<QDateEdit>(m_page.get(), "expireDateEdit");
    QVERIFY(checkBox && dateEdit);
    const QDate today = QDate::currentDate();
    QSignalSpy changed(m_page.get(), changedSignal);

    QTest::mouseClick(checkBox, Qt::LeftButton);
    QVERIFY(dateEdit->isEnabled());
    QCOMPARE(dateEdit->date(), today);
    QCOMPARE(dateEdit->minimumDate(), today);
    QCOMPARE(changedValues(changed), QList<bool>{true});

    changed.clear();
    dateEdit->setDate(today.addDays(30));
    QCOMPARE(changedValues(changed), QList<bool>{true});
    dateEdit->setDate(today.addDays(-1));
    QCOMPARE(dateEdit->date(), today);

    changed.clear();
    dateEdit->setDate(today.addDays(30));
    QTest::mouseClick(checkBox, Qt::LeftButton);
    QVERIFY(!dateEdit->isEnabled());
    QCOMPARE(dateEdit->date(), today);
    QVERIFY(!changed.isEmpty());
    QVERIFY(!changedValues(changed).contains(false));

    // Switching it on again keeps the date the editor shows.
    QTest::mouseClick(checkBox, Qt::LeftButton);
    QVERIFY(dateEdit->isEnabled());
    QCOMPARE(dateEdit->date(), today);
}

void KcmFormTest::reminderGroup()
{
    auto *group = widget<QGroupBox>(m_page.get(), "receiveNotifyGroupBox");
    auto *local = widget<QCheckBox>(m_page.get(), "localUserCheckBox");
    auto *domain = widget<QCheckBox>(m_page.get(), "domainUserCheckBox");
    auto *days = widget<QSpinBox>(m_page.get(), "notifyDaysSpinBox");
    QVERIFY(group && local && domain && days);
    QSignalSpy changed(m_page.get(), changedSignal);

    // Nothing loaded yet: switching reminders on shows the default record.
    QTest::keyClick(group, Qt::Key_Space);
    QVERIFY(group->isChecked());
    QVERIFY(local->isChecked());
    QVERIFY(!domain->isChecked());
    QCOMPARE(days->value(), 14);
    QVERIFY(days->isEnabled());
    QVERIFY(local->isEnabled());
    QVERIFY(!changed.isEmpty());
    QVERIFY(!changedValues(changed).contains(false));
    QCOMPARE(days->suffix(), QString());

    QTest::mouseClick(domain, Qt::LeftButton);
    QTest::mouseClick(local, Qt::LeftButton);
    days->setValue(3);

    changed.clear();
    QTest::keyClick(group, Qt::Key_Space);
    QVERIFY(!group->isChecked());
    QVERIFY(!local->isChecked());
    QVERIFY(!domain->isChecked());
    QCOMPARE(days->value(), 0);
    QVERIFY(!days->isEnabled());
    QVERIFY(!changed.isEmpty());
    QVERIFY(!changedValues(changed).contains(false));

    // Back on: the stored record again, not what was entered before.
    QTest::keyClick(group, Qt::Key_Space);
    QVERIFY(local->isChecked());
    QVERIFY(!domain->isChecked());
    QCOMPARE(days->value(), 14);
}

void KcmFormTest::reminderCheckBoxesOnlyMarkChanged_data()
{
    QTest::addColumn<QString>("checkBoxName");

    QTest::newRow("local") << QStringLiteral("localUserCheckBox");
    QTest::newRow("domain") << QStringLiteral("domainUserCheckBox");
}

void KcmFormTest::reminderCheckBoxesOnlyMarkChanged()
{
    QFETCH(QString, checkBoxName);

    auto *group = widget<QGroupBox>(m_page.get(), "receiveNotifyGroupBox");
    auto *days = widget<QSpinBox>(m_page.get(), "notifyDaysSpinBox");
    QTest::keyClick(group, Qt::Key_Space);
    auto *checkBox = m_page->findChild<QCheckBox *>(checkBoxName);
    QVERIFY(checkBox);
    const bool before = checkBox->isChecked();
    QSignalSpy changed(m_page.get(), changedSignal);

    QTest::mouseClick(checkBox, Qt::LeftButton);
    QCOMPARE(checkBox->isChecked(), !before);
    QCOMPARE(changedValues(changed), QList<bool>{true});
    QVERIFY(group->isChecked());
    QCOMPARE(days->value(), 14);
}

QTEST_MAIN(KcmFormTest)

#include "kcmformtest.moc"
