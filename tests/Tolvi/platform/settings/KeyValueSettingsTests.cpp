#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/settings/QtKeyValueSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include <limits>
#include <memory>

#include <sys/stat.h>

using namespace tolvi;

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();

TEST(SettingsValueConversion, BooleansReadLeniently)
{
    using settingsvalue::toBoolean;
    EXPECT_TRUE(toBoolean(QVariant(true)));
    EXPECT_FALSE(toBoolean(QVariant(false)));
    EXPECT_TRUE(toBoolean(QVariant(qint64(-3))));
    EXPECT_FALSE(toBoolean(QVariant(0)));
    EXPECT_TRUE(toBoolean(QVariant(0.25)));
    EXPECT_FALSE(toBoolean(QVariant(0.0)));
    for (const char* yes : {"true", "TRUE", "True", "yes", "YES", "1", "7 days", "  12", "-1"})
        EXPECT_TRUE(toBoolean(QVariant(QString::fromLatin1(yes)))) << yes;
    // QVariant itself would read "abc" as true; the settings do not.
    for (const char* no : {"abc", "", "false", "No", "0", "0.9", " yes", "y", "t", "on"})
        EXPECT_FALSE(toBoolean(QVariant(QString::fromLatin1(no)))) << no;
    EXPECT_FALSE(toBoolean(QVariant(QByteArray("1"))));
    EXPECT_FALSE(toBoolean(QVariant(QVariantList{true})));
    EXPECT_FALSE(toBoolean(QVariant()));
}

TEST(SettingsValueConversion, IntegersReadTheLeadingNumberAndClamp)
{
    using settingsvalue::toInteger;
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("42"))), 42);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("  -17abc"))), -17);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("+8"))), 8);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("4.9"))), 4);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("abc"))), 0);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("true"))), 1);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("9223372036854775807"))), kMax);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("9223372036854775808"))), kMax);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("99999999999999999999999999"))), kMax);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("-9223372036854775808"))), kMin);
    EXPECT_EQ(toInteger(QVariant(QStringLiteral("-99999999999999999999999999"))), kMin);
    EXPECT_EQ(toInteger(QVariant(true)), 1);
    EXPECT_EQ(toInteger(QVariant(-7.9)), -7);
    EXPECT_EQ(toInteger(QVariant(1e300)), kMax);
    EXPECT_EQ(toInteger(QVariant(-1e300)), kMin);
    EXPECT_EQ(toInteger(QVariant(std::numeric_limits<double>::quiet_NaN())), 0);
    EXPECT_EQ(toInteger(QVariant(std::numeric_limits<quint64>::max())), kMax);
    EXPECT_EQ(toInteger(QVariant(QByteArray("5"))), 0);
}

TEST(SettingsValueConversion, DoublesReadTheLeadingDecimalNumber)
{
    using settingsvalue::toDouble;
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("3.5"))), 3.5);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral(" -2.25kg"))), -2.25);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("1e3"))), 1000.0);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("1e"))), 1.0);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral(".5"))), 0.5);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("1783000000.125"))), 1783000000.125);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("abc"))), 0.0);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("nan"))), 0.0);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("inf"))), 0.0);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("1e999"))), std::numeric_limits<double>::max());
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("-1e999"))), -std::numeric_limits<double>::max());
    EXPECT_DOUBLE_EQ(toDouble(QVariant(QStringLiteral("1e-999"))), 0.0);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(qint64(12))), 12.0);
    EXPECT_DOUBLE_EQ(toDouble(QVariant(false)), 0.0);
}

TEST(SettingsValueConversion, StringsComeFromTextsNumbersAndBooleansOnly)
{
    using settingsvalue::toString;
    EXPECT_EQ(toString(QVariant(QStringLiteral("dark"))), QStringLiteral("dark"));
    EXPECT_EQ(toString(QVariant(QString())), QString());
    EXPECT_EQ(toString(QVariant(qint64(25))), QStringLiteral("25"));
    EXPECT_EQ(toString(QVariant(2.5)), QStringLiteral("2.5"));
    EXPECT_EQ(toString(QVariant(true)), QStringLiteral("true"));
    EXPECT_EQ(toString(QVariant(QByteArray("dark"))), std::nullopt);
    EXPECT_EQ(toString(QVariant(QStringList{QStringLiteral("dark")})), std::nullopt);
    EXPECT_EQ(toString(QVariant()), std::nullopt);
}

// The same behaviour is expected of the real settings file and of the in-memory fake.
class SettingsFactory {
public:
    virtual ~SettingsFactory() = default;
    virtual std::unique_ptr<KeyValueSettings> make() = 0;
};

class InMemoryFactory final : public SettingsFactory {
public:
    std::unique_ptr<KeyValueSettings> make() override { return std::make_unique<InMemoryKeyValueSettings>(); }
};

class FileFactory final : public SettingsFactory {
public:
    std::unique_ptr<KeyValueSettings> make() override
    {
        return std::make_unique<QtKeyValueSettings>(m_dir.filePath(QStringLiteral("settings.conf")));
    }

private:
    QTemporaryDir m_dir;
};

template <typename Factory>
class KeyValueSettingsContract : public ::testing::Test {
protected:
    Factory factory;
};

using Implementations = ::testing::Types<InMemoryFactory, FileFactory>;
TYPED_TEST_SUITE(KeyValueSettingsContract, Implementations);

TYPED_TEST(KeyValueSettingsContract, AbsentAndPresentStayDistinct)
{
    auto settings = this->factory.make();
    const QString key = QStringLiteral("tolvi.preferences.capturesText");
    EXPECT_FALSE(settings->contains(key));
    EXPECT_FALSE(settings->boolean(key));
    EXPECT_EQ(settings->string(key), std::nullopt);

    settings->setBoolean(key, false);
    EXPECT_TRUE(settings->contains(key));
    EXPECT_FALSE(settings->boolean(key));

    settings->setString(QStringLiteral("tolvi.preferences.appearance"), QString());
    EXPECT_TRUE(settings->contains(QStringLiteral("tolvi.preferences.appearance")));
    EXPECT_EQ(settings->string(QStringLiteral("tolvi.preferences.appearance")), QString());

    settings->remove(key);
    EXPECT_FALSE(settings->contains(key));
    settings->setString(key, QStringLiteral("x"));
    settings->setValue(key, QVariant());
    EXPECT_FALSE(settings->contains(key));
    EXPECT_EQ(settings->keys(), QStringList{QStringLiteral("tolvi.preferences.appearance")});

    // An empty key names nothing; it must not wipe the whole file.
    settings->remove(QString());
    EXPECT_EQ(settings->keys(), QStringList{QStringLiteral("tolvi.preferences.appearance")});
}

TYPED_TEST(KeyValueSettingsContract, TypedValuesReadBack)
{
    auto settings = this->factory.make();
    settings->setString(QStringLiteral("tolvi.s"), QStringLiteral("@ByteArray(not data)"));
    settings->setBoolean(QStringLiteral("tolvi.b"), true);
    settings->setInteger(QStringLiteral("tolvi.i"), kMax);
    settings->setDouble(QStringLiteral("tolvi.d"), 1783000000.125);
    settings->setData(QStringLiteral("tolvi.data"), QByteArray("[{\"a\":1}]\0\x01", 11));
    settings->setStringList(QStringLiteral("tolvi.one"), {QStringLiteral("only, item")});
    settings->setStringList(QStringLiteral("tolvi.none"), {});
    settings->setArray(QStringLiteral("tolvi.mixed"), {QStringLiteral("a"), QStringLiteral("b")});

    EXPECT_EQ(settings->string(QStringLiteral("tolvi.s")), QStringLiteral("@ByteArray(not data)"));
    EXPECT_EQ(settings->data(QStringLiteral("tolvi.s")), std::nullopt);
    EXPECT_TRUE(settings->boolean(QStringLiteral("tolvi.b")));
    EXPECT_EQ(settings->integer(QStringLiteral("tolvi.i")), kMax);
    EXPECT_DOUBLE_EQ(settings->doubleValue(QStringLiteral("tolvi.d")), 1783000000.125);
    EXPECT_EQ(settings->data(QStringLiteral("tolvi.data")), QByteArray("[{\"a\":1}]\0\x01", 11));
    EXPECT_EQ(settings->string(QStringLiteral("tolvi.data")), std::nullopt);
    EXPECT_EQ(settings->stringList(QStringLiteral("tolvi.one")), QStringList{QStringLiteral("only, item")});
    EXPECT_EQ(settings->stringList(QStringLiteral("tolvi.none")), QStringList{});
    EXPECT_EQ(settings->array(QStringLiteral("tolvi.mixed")),
              (QVariantList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(settings->stringList(QStringLiteral("tolvi.s")), std::nullopt);
}

// What a fresh run of the program reads from a file written by an earlier run.
class SettingsFile : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Qt caches parsed settings files per process; a copy under a new name is parsed afresh.
    std::unique_ptr<QtKeyValueSettings> reopenAsNewRun(const QString& filePath)
    {
        const QString copy = path(QStringLiteral("run%1.conf").arg(++m_runs));
        EXPECT_TRUE(QFile::copy(filePath, copy));
        return std::make_unique<QtKeyValueSettings>(copy);
    }

    std::unique_ptr<QtKeyValueSettings> openWithText(const QByteArray& text)
    {
        const QString file = path(QStringLiteral("edited%1.conf").arg(++m_runs));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();
        return std::make_unique<QtKeyValueSettings>(file);
    }

private:
    QTemporaryDir m_dir;
    int m_runs = 0;
};

TEST_F(SettingsFile, ValuesSurviveARestart)
{
    const QString file = path(QStringLiteral("settings.conf"));
    {
        QtKeyValueSettings settings(file);
        settings.setBoolean(QStringLiteral("tolvi.preferences.capturesImages"), false);
        settings.setBoolean(QStringLiteral("tolvi.preferences.capturesText"), true);
        settings.setInteger(QStringLiteral("tolvi.usage.count.pastePerformed"), 12);
        settings.setDouble(QStringLiteral("tolvi.usage.lastRecordedAt"), 1783000000.5);
        settings.setString(QStringLiteral("tolvi.preferences.historyLimit"), QStringLiteral("fifty"));
        settings.setData(QStringLiteral("tolvi.appExclusions.v1"), QByteArray("[]"));
        settings.setStringList(QStringLiteral("tolvi.one"), {QStringLiteral("x")});
        settings.setStringList(QStringLiteral("tolvi.two"), {QStringLiteral("x"), QStringLiteral("y, z")});
        settings.setStringList(QStringLiteral("tolvi.none"), {});
        settings.sync();
    }
    auto reopened = reopenAsNewRun(file);
    EXPECT_TRUE(reopened->contains(QStringLiteral("tolvi.preferences.capturesImages")));
    EXPECT_FALSE(reopened->boolean(QStringLiteral("tolvi.preferences.capturesImages")));
    EXPECT_TRUE(reopened->boolean(QStringLiteral("tolvi.preferences.capturesText")));
    EXPECT_EQ(reopened->integer(QStringLiteral("tolvi.usage.count.pastePerformed")), 12);
    EXPECT_DOUBLE_EQ(reopened->doubleValue(QStringLiteral("tolvi.usage.lastRecordedAt")), 1783000000.5);
    EXPECT_EQ(reopened->string(QStringLiteral("tolvi.preferences.historyLimit")), QStringLiteral("fifty"));
    EXPECT_EQ(reopened->data(QStringLiteral("tolvi.appExclusions.v1")), QByteArray("[]"));
    EXPECT_EQ(reopened->stringList(QStringLiteral("tolvi.one")), QStringList{QStringLiteral("x")});
    EXPECT_EQ(reopened->stringList(QStringLiteral("tolvi.two")),
              (QStringList{QStringLiteral("x"), QStringLiteral("y, z")}));
    EXPECT_EQ(reopened->stringList(QStringLiteral("tolvi.none")), QStringList{});
    EXPECT_EQ(reopened->keys().size(), 9);
}

TEST_F(SettingsFile, HandEditedValuesReadLeniently)
{
    auto settings = openWithText("[General]\n"
                                 "tolvi.preferences.capturesText=abc\n"
                                 "tolvi.preferences.capturesImages=YES\n"
                                 "tolvi.preferences.hidesWindowsFromScreenCapture=\n"
                                 "tolvi.usage.count.pastePerformed=99999999999999999999999\n"
                                 "tolvi.usage.lastResetAt=soon\n"
                                 "tolvi.appExclusions.v1=[{\"bundleIdentifier\":\"a\"}]\n");
    EXPECT_TRUE(settings->contains(QStringLiteral("tolvi.preferences.capturesText")));
    EXPECT_FALSE(settings->boolean(QStringLiteral("tolvi.preferences.capturesText")));
    EXPECT_TRUE(settings->boolean(QStringLiteral("tolvi.preferences.capturesImages")));
    EXPECT_TRUE(settings->contains(QStringLiteral("tolvi.preferences.hidesWindowsFromScreenCapture")));
    EXPECT_FALSE(settings->boolean(QStringLiteral("tolvi.preferences.hidesWindowsFromScreenCapture")));
    EXPECT_EQ(settings->integer(QStringLiteral("tolvi.usage.count.pastePerformed")), kMax);
    EXPECT_DOUBLE_EQ(settings->doubleValue(QStringLiteral("tolvi.usage.lastResetAt")), 0.0);
    // Hand-written text is not a data value.
    EXPECT_EQ(settings->data(QStringLiteral("tolvi.appExclusions.v1")), std::nullopt);
    EXPECT_TRUE(settings->string(QStringLiteral("tolvi.appExclusions.v1")).has_value());
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

// Another user who could write the settings could switch capture off or change the exclusions.
TEST_F(SettingsFile, OnlyTheUserCanReadOrWriteThemWhateverTheUmask)
{
    const mode_t previousMask = ::umask(0);
    const QString file = path(QStringLiteral("config/Tolvi/Tolvi.conf"));
    {
        QtKeyValueSettings settings(file);
        for (const bool enabled : {false, true}) {
            settings.setBoolean(QStringLiteral("tolvi.preferences.monitoringEnabled"), enabled);
            settings.sync();
            EXPECT_TRUE(settings.isWritable());
            EXPECT_EQ(modeOf(path(QStringLiteral("config"))), 0700u);
            EXPECT_EQ(modeOf(path(QStringLiteral("config/Tolvi"))), 0700u);
            EXPECT_EQ(modeOf(file), 0600u);
        }
    }
    EXPECT_TRUE(reopenAsNewRun(file)->boolean(QStringLiteral("tolvi.preferences.monitoringEnabled")));

    // A folder that was there is left as it is; the file in it is made private.
    const QString shared = path(QStringLiteral("shared"));
    ASSERT_EQ(::mkdir(QFile::encodeName(shared).constData(), 0755), 0);
    const QString existing = shared + QStringLiteral("/Tolvi.conf");
    QFile out(existing);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("[General]\ntolvi.preferences.capturesText=false\n");
    out.close();
    ASSERT_EQ(modeOf(existing), 0666u);
    {
        QtKeyValueSettings settings(existing);
        EXPECT_TRUE(settings.contains(QStringLiteral("tolvi.preferences.capturesText")));
        settings.setBoolean(QStringLiteral("tolvi.preferences.capturesImages"), true);
        settings.sync();
    }
    EXPECT_EQ(modeOf(shared), 0755u);
    EXPECT_EQ(modeOf(existing), 0600u);
    ::umask(previousMask);
}

} // namespace

// A FIFO under the settings file's name would block the start for good, a link to a device would
// be read without end: the settings start from their defaults and the thing is left alone.
TEST_F(SettingsFile, AFifoOrALinkToADeviceIsNeitherWaitedForNorRead)
{
    const QString fifo = path(QStringLiteral("fifo/Tolvi.conf"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("fifo"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = path(QStringLiteral("device/Tolvi.conf"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("device"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
    for (const QString& file : {fifo, device}) {
        SCOPED_TRACE(file.toStdString());
        std::future<void> opening = std::async(std::launch::async, [&file] {
            QtKeyValueSettings settings(file);
            EXPECT_FALSE(settings.contains(QStringLiteral("tolvi.preferences.capturesText")));
            settings.setBoolean(QStringLiteral("tolvi.preferences.capturesText"), false);
            EXPECT_FALSE(settings.boolean(QStringLiteral("tolvi.preferences.capturesText")));
            settings.sync();
        });
        const bool returned = opening.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        if (!returned && file == fifo) {
            // Let a reader stuck on the FIFO go, so that the test ends.
            const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        EXPECT_TRUE(returned);
    }
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(QFileInfo(device).isSymLink());
}
