#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/FilePanels.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace tolvi;

namespace {

// Runs the action on the modal dialog once it is shown.
void whenModalShows(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

void pressEscape(QWidget* widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

QList<QPushButton*> buttonsInOrder(QMessageBox* box)
{
    QList<QPushButton*> result;
    for (QAbstractButton* button : box->buttons())
        result.append(qobject_cast<QPushButton*>(button));
    return result;
}

TEST(QtAlerts, ButtonsKeepTheirOrderAndAnswerByIndex)
{
    QtAlerts alerts;
    AlertRequest request;
    request.style = AlertStyle::warning;
    request.message = QStringLiteral("Clear all clipboard history?");
    request.informativeText = QStringLiteral("<b>not bold</b>");
    request.buttons = {QStringLiteral("Cancel"), QStringLiteral("Clear History")};
    request.defaultButton = 0;

    QStringList titles;
    QString defaultTitle;
    Qt::TextFormat informativeFormat = Qt::RichText;
    whenModalShows([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        for (QPushButton* button : buttonsInOrder(box))
            titles.append(button->text());
        defaultTitle = box->defaultButton() ? box->defaultButton()->text() : QString();
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text() == QStringLiteral("<b>not bold</b>"))
                informativeFormat = label->textFormat();
        }
        box->buttons().at(1)->click();
    });
    EXPECT_EQ(alerts.run(request), 1);
    EXPECT_EQ(titles, request.buttons);
    EXPECT_EQ(defaultTitle, QStringLiteral("Cancel"));
    EXPECT_EQ(informativeFormat, Qt::PlainText);
}

TEST(QtAlerts, EscapeGivesTheEscapeButtonOrNoAnswer)
{
    QtAlerts alerts;
    AlertRequest request;
    request.message = QStringLiteral("Could not export diagnostics");
    request.buttons = {QStringLiteral("Quit"), QStringLiteral("Keep Open")};
    request.escapeButton = 1;
    whenModalShows([](QWidget* modal) { pressEscape(modal); });
    EXPECT_EQ(alerts.run(request), 1);

    // Without an escape button the alert stays until a button is pressed.
    request.escapeButton.reset();
    bool stillShownAfterEscape = false;
    whenModalShows([&](QWidget* modal) {
        pressEscape(modal);
        modal->close();
        stillShownAfterEscape = modal->isVisible();
        qobject_cast<QMessageBox*>(modal)->buttons().at(0)->click();
    });
    EXPECT_EQ(alerts.run(request), 0);
    EXPECT_TRUE(stillShownAfterEscape);
}

TEST(QtFilePanels, SavePanelProposesTheNameAndReturnsTheChoice)
{
    QTemporaryDir dir;
    QtFilePanels panels(nullptr, false);
    SavePanelRequest request;
    request.title = QStringLiteral("Export Tolvi Diagnostics");
    request.prompt = QStringLiteral("Export");
    request.directory = dir.path();
    request.proposedFileName = QStringLiteral("Tolvi-Diagnostics-20260301-093000.txt");
    request.nameFilters = {QStringLiteral("Plain text (*.txt)")};

    QString title;
    QString acceptLabel;
    whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        acceptLabel = dialog->labelText(QFileDialog::Accept);
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = panels.chooseSaveLocation(request);
    EXPECT_EQ(title, request.title);
    EXPECT_EQ(acceptLabel, request.prompt);
    EXPECT_EQ(chosen, dir.filePath(request.proposedFileName));
}

// A panel asked for no folder opens in the user's documents folder, or the home folder where
// there is none: never in the folder the program was started in.
TEST(QtFilePanels, APanelWithoutAFolderOpensInTheUsersDocumentsOrHome)
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_CONFIG_HOME");
    auto firstFolder = [](auto request) {
        QFileDialog dialog;
        prepareFileDialog(dialog, request, false);
        return QDir(dialog.directory()).canonicalPath();
    };
    const QString homePath = QDir(home.path()).canonicalPath();
    ASSERT_NE(QDir::currentPath(), homePath);

    EXPECT_EQ(firstFolder(SavePanelRequest{}), homePath);
    EXPECT_EQ(firstFolder(OpenPanelRequest{}), homePath);
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Documents")));
    EXPECT_EQ(firstFolder(SavePanelRequest{}), homePath + QStringLiteral("/Documents"));
    EXPECT_EQ(firstFolder(OpenPanelRequest{}), homePath + QStringLiteral("/Documents"));
    // A folder the request names wins.
    QTemporaryDir chosen;
    SavePanelRequest request;
    request.directory = chosen.path();
    EXPECT_EQ(firstFolder(request), QDir(chosen.path()).canonicalPath());

    qputenv("HOME", oldHome);
    if (!oldConfig.isEmpty())
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(QtFilePanels, CancelledOpenPanelGivesNothing)
{
    QTemporaryDir dir;
    QtFilePanels panels(nullptr, false);
    whenModalShows([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(panels.chooseFileToOpen({QStringLiteral("Import"), QStringLiteral("Import"), dir.path(), {}, false}),
              std::nullopt);
}

} // namespace
