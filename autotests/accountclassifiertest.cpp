// SPDX-License-Identifier: GPL-2.0-or-later
// The decisions of the account classification over tool output.
#include "accountclassifier.h"

#include <QTest>

using KeyMap = QHash<QString, QString>;
Q_DECLARE_METATYPE(KeyMap)

class AccountClassifierTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nameMarksDomain_data();
    void nameMarksDomain();
    void directoryKeyMap_data();
    void directoryKeyMap();
    void directoryMarksDomain_data();
    void directoryMarksDomain();
    void groupsMarkDomain_data();
    void groupsMarkDomain();
};

void AccountClassifierTest::nameMarksDomain_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("domain");

    QTest::newRow("plain") << QStringLiteral("alice") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("user@domain") << QStringLiteral("alice@corp.example") << true;
    QTest::newRow("DOMAIN\\user") << QStringLiteral("CORP\\alice") << true;
    QTest::newRow("forward slash") << QStringLiteral("CORP/alice") << false;
}

void AccountClassifierTest::nameMarksDomain()
{
    QFETCH(QString, name);
    QFETCH(bool, domain);
    QCOMPARE(::nameMarksDomain(name), domain);
}

void AccountClassifierTest::directoryKeyMap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<KeyMap>("map");

    QTest::newRow("typical") << QStringLiteral("Name: alice@corp.example\nDomain name: corp.example\n")
                             << KeyMap{{QStringLiteral("name"), QStringLiteral("alice@corp.example")}, {QStringLiteral("domain name"), QStringLiteral("corp.example")}};
    QTest::newRow("first colon splits") << QStringLiteral("Name: a:b: c\n") << KeyMap{{QStringLiteral("name"), QStringLiteral("a:b: c")}};
    QTest::newRow("key trimmed and lower-cased") << QStringLiteral("  DoMain NAME\t :  corp  \n")
                                                 << KeyMap{{QStringLiteral("domain name"), QStringLiteral("corp")}};
    QTest::newRow("inner blanks of the key kept") << QStringLiteral("Domain  name: corp") << KeyMap{{QStringLiteral("domain  name"), QStringLiteral("corp")}};
    QTest::newRow("colon first: skipped") << QStringLiteral(":name: x\nUID: 5") << KeyMap{{QStringLiteral("uid"), QStringLiteral("5")}};
    QTest::newRow("blank before colon: empty key") << QStringLiteral(" : x") << KeyMap{{QString(), QStringLiteral("x")}};
    QTest::newRow("no colon: skipped") << QStringLiteral("user found\nname alice") << KeyMap{};
    QTest::newRow("later line wins") << QStringLiteral("name: a\nNAME: b\n") << KeyMap{{QStringLiteral("name"), QStringLiteral("b")}};
    QTest::newRow("empty value kept") << QStringLiteral("Domain name:\n") << KeyMap{{QStringLiteral("domain name"), QString()}};
    QTest::newRow("empty output") << QString() << KeyMap{};
}

void AccountClassifierTest::directoryKeyMap()
{
    QFETCH(QString, text);
    QFETCH(KeyMap, map);
    QCOMPARE(::directoryKeyMap(text), map);
}

void AccountClassifierTest::directoryMarksDomain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("domain");

    QTest::newRow("Domain name set") << QStringLiteral("Name: alice\nDomain name: corp.example\n") << true;
    QTest::newRow("DOMAIN NAME in upper case") << QStringLiteral("DOMAIN NAME: corp\n") << true;
    QTest::newRow("domain-name set") << QStringLiteral("domain-name: corp\n") << true;
    QTest::newRow("domain name present but empty hides domain-name") << QStringLiteral("domain-name: corp\nDomain name:\n") << false;
    QTest::newRow("domain name only blanks hides domain-name") << QStringLiteral("Domain name:   \ndomain-name: corp\n") << false;
    QTest::newRow("empty domain name, name with @") << QStringLiteral("Domain name:\ndomain-name: corp\nName: alice@corp\n") << true;
    QTest::newRow("name with @ alone") << QStringLiteral("Name: alice@corp.example\n") << true;
    QTest::newRow("name with backslash") << QStringLiteral("Name: CORP\\alice\n") << false;
    QTest::newRow("later empty domain name wins") << QStringLiteral("Domain name: corp\ndomain name:\n") << false;
    QTest::newRow("colon first character") << QStringLiteral(":Domain name: corp\n") << false;
    QTest::newRow("no colon") << QStringLiteral("Domain name corp\n") << false;
    QTest::newRow("nothing useful") << QStringLiteral("Name: alice\nUID: 1000\n") << false;
    QTest::newRow("empty") << QString() << false;
}

void AccountClassifierTest::directoryMarksDomain()
{
    QFETCH(QString, text);
    QFETCH(bool, domain);
    QCOMPARE(::directoryMarksDomain(text), domain);
}

void AccountClassifierTest::groupsMarkDomain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("domain");

    QTest::newRow("plain groups") << QStringLiteral("alice users sudo\n") << false;
    QTest::newRow("group name split by a space") << QStringLiteral("alice domain users@corp.example\n") << true;
    QTest::newRow("backslash group") << QStringLiteral("alice CORP\\staff\n") << true;
    QTest::newRow("tabs and newlines") << QStringLiteral("\talice\n\nstaff@corp\n") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("blanks") << QStringLiteral(" \n\t ") << false;
}

void AccountClassifierTest::groupsMarkDomain()
{
    QFETCH(QString, text);
    QFETCH(bool, domain);
    QCOMPARE(::groupsMarkDomain(text), domain);
}

QTEST_GUILESS_MAIN(AccountClassifierTest)

#include "accountclassifiertest.moc"
