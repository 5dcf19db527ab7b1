// SPDX-License-Identifier: GPL-2.0-or-later
// The decisions of the account classification over tool output, among it
// what the real sssctl and id of Debian 12 (SSSD 2.8.2 with the LDAP
// provider, slapd) printed in autotests/machine/directory_test.sh, kept in
// data/directory with that machine's /etc/passwd.
#include "accountclassifier.h"
#include "commandrunner.h"

#include <QFile>
#include <QTest>

using KeyMap = QHash<QString, QString>;
Q_DECLARE_METATYPE(KeyMap)
using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

namespace
{
// A file of data/directory as text, decoded as the tools' output is; false
// when it cannot be read.
bool readFixture(const QString &name, QString &text)
{
    QFile file(QFINDTESTDATA(QStringLiteral("data/directory/") + name));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    text = outputToText(file.readAll());
    return true;
}

QString kindName(AccountKind kind)
{
    return QString::fromLatin1(accountKindName(kind));
}
} // namespace

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
    void localFilesListAccount_data();
    void localFilesListAccount();
    void kindFromGroupList_data();
    void kindFromGroupList();
    void realToolOutput_data();
    void realToolOutput();
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
                             << KeyMap{{QStringLiteral("name"), QStringLiteral("alice@corp.example")},
                                       {QStringLiteral("domain name"), QStringLiteral("corp.example")}};
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

void AccountClassifierTest::localFilesListAccount_data()
{
    QTest::addColumn<QString>("passwd");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("listed");

    const QString entries = QStringLiteral("root:x:0:0:root:/root:/bin/bash\nalice:x:1000:1000::/home/alice:/bin/bash\n");
    QTest::newRow("listed") << entries << QStringLiteral("alice") << true;
    QTest::newRow("first line") << entries << QStringLiteral("root") << true;
    QTest::newRow("not listed") << entries << QStringLiteral("carol") << false;
    QTest::newRow("a listed name's beginning") << entries << QStringLiteral("ali") << false;
    QTest::newRow("a listed name's end") << entries << QStringLiteral("lice") << false;
    QTest::newRow("case counts") << entries << QStringLiteral("Alice") << false;
    QTest::newRow("the name in another field") << QStringLiteral("bob:x:1001:1001:alice:/home/alice:/bin/sh\n") << QStringLiteral("alice") << false;
    QTest::newRow("line without colon") << QStringLiteral("alice\n") << QStringLiteral("alice") << false;
    QTest::newRow("last line without newline") << QStringLiteral("root:x:0:0::/root:/bin/sh\nalice:x:1000:1000::/home/alice:/bin/sh") << QStringLiteral("alice")
                                               << true;
    QTest::newRow("carriage return after the entry") << QStringLiteral("alice:x:1000:1000::/home/alice:/bin/sh\r\n") << QStringLiteral("alice") << true;
    QTest::newRow("compat inclusion of a name service entry") << QStringLiteral("+alice::::::\n") << QStringLiteral("alice") << false;
    QTest::newRow("empty files") << QString() << QStringLiteral("alice") << false;
}

void AccountClassifierTest::localFilesListAccount()
{
    QFETCH(QString, passwd);
    QFETCH(QString, name);
    QFETCH(bool, listed);
    QCOMPARE(::localFilesListAccount(passwd, name), listed);
}

void AccountClassifierTest::kindFromGroupList_data()
{
    QTest::addColumn<QString>("groups");
    QTest::addColumn<QString>("name");
    QTest::addColumn<OptionalText>("passwd");
    QTest::addColumn<QString>("kind");

    const OptionalText withAlice = QStringLiteral("root:x:0:0:root:/root:/bin/bash\nalice:x:1000:1000::/home/alice:/bin/bash\n");
    const QString local = QStringLiteral("local");
    const QString domain = QStringLiteral("domain");
    QTest::newRow("plain groups, listed locally") << QStringLiteral("alice users") << QStringLiteral("alice") << withAlice << local;
    QTest::newRow("plain groups, not listed locally") << QStringLiteral("staff domain admins") << QStringLiteral("carol") << withAlice << domain;
    QTest::newRow("marked group, listed locally") << QStringLiteral("alice CORP\\staff") << QStringLiteral("alice") << withAlice << domain;
    QTest::newRow("plain groups, local files unreadable") << QStringLiteral("staff domain admins") << QStringLiteral("carol") << OptionalText() << local;
    QTest::newRow("marked group, local files unreadable") << QStringLiteral("staff@corp") << QStringLiteral("carol") << OptionalText() << domain;
    QTest::newRow("plain groups, empty local files") << QStringLiteral("staff") << QStringLiteral("carol") << OptionalText(QString()) << domain;
}

void AccountClassifierTest::kindFromGroupList()
{
    QFETCH(QString, groups);
    QFETCH(QString, name);
    QFETCH(OptionalText, passwd);
    QFETCH(QString, kind);
    QCOMPARE(kindName(::kindFromGroupList(groups, name, passwd)), kind);
}

void AccountClassifierTest::realToolOutput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("userShow");
    QTest::addColumn<QString>("groups");
    QTest::addColumn<bool>("directoryDomain");
    QTest::addColumn<bool>("groupsDomain");
    QTest::addColumn<QString>("kind");

    // The answer the group list gives with the machine's /etc/passwd, after a
    // directory client that (directoryDomain) did or did not decide.
    QTest::newRow("directory user, short names") << QStringLiteral("carol") << QStringLiteral("sssctl-user-show.directory-user")
                                                 << QStringLiteral("id-groups.directory-user") << false << false << QStringLiteral("domain");
    QTest::newRow("directory user, server stopped, cache expired") << QStringLiteral("carol") << QStringLiteral("sssctl-user-show.directory-user-expired")
                                                                   << QStringLiteral("id-groups.directory-user") << false << false << QStringLiteral("domain");
    QTest::newRow("local user, not in SSSD's cache") << QStringLiteral("alice") << QStringLiteral("sssctl-user-show.local-user")
                                                     << QStringLiteral("id-groups.local-user") << false << false << QStringLiteral("local");
    QTest::newRow("local user, SSSD's files provider") << QStringLiteral("alice") << QStringLiteral("sssctl-user-show.local-user-files-provider")
                                                       << QStringLiteral("id-groups.local-user") << false << false << QStringLiteral("local");
    QTest::newRow("directory user, qualified names") << QStringLiteral("dave@example.test") << QStringLiteral("sssctl-user-show.qualified")
                                                     << QStringLiteral("id-groups.qualified") << true << true << QStringLiteral("domain");
}

void AccountClassifierTest::realToolOutput()
{
    QFETCH(QString, name);
    QFETCH(QString, userShow);
    QFETCH(QString, groups);
    QFETCH(bool, directoryDomain);
    QFETCH(bool, groupsDomain);
    QFETCH(QString, kind);

    QString userShowText;
    QString groupsText;
    QString passwd;
    QVERIFY2(readFixture(userShow, userShowText), qPrintable(userShow));
    QVERIFY2(readFixture(groups, groupsText), qPrintable(groups));
    QVERIFY2(readFixture(QStringLiteral("passwd"), passwd), "passwd");

    QCOMPARE(::directoryMarksDomain(userShowText), directoryDomain);
    QCOMPARE(::groupsMarkDomain(groupsText), groupsDomain);
    QCOMPARE(kindName(::kindFromGroupList(groupsText, name, passwd)), kind);
}

QTEST_GUILESS_MAIN(AccountClassifierTest)

#include "accountclassifiertest.moc"
