// A small desktop program that the X11 tests drive over its standard input, one command a line:
//   copy <mime> <base64> [<mime> <base64> ...]   put the representations on CLIPBOARD
//   stage <mime> <base64> [...]                   keep representations for copy-staged
//   copy-staged                                  put the kept representations on CLIPBOARD
//   copy-secret <text>                           text with the password-manager hint
//   window                                       show a window with a line edit and activate it
//   activate                                     activate that window again
//   modal / close-modal                          open / close a modal dialog over it
//   clear-text                                   empty the line edit
//   pid                                          print the process id
//   quit
// It answers "ok <command>" (or the value asked for) on standard output, and reports every change
// of the line edit as "text <base64>".
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTextStream>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void reply(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication::setApplicationName(QStringLiteral("TolviTestPeer"));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Peer"));
    window.resize(400, 120);
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    layout->addWidget(edit);
    QObject::connect(edit, &QLineEdit::textChanged, [](const QString& text) {
        reply("text " + text.toUtf8().toBase64());
    });
    QDialog* dialog = nullptr;
    QList<std::pair<QString, QByteArray>> staged;

    QByteArray buffer;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[65536];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            app.quit();
            return;
        }
        buffer.append(chunk, n);
        qsizetype end;
        while ((end = buffer.indexOf('\n')) >= 0) {
            const QByteArray line = buffer.left(end);
            buffer.remove(0, end + 1);
            const QList<QByteArray> words = line.split(' ');
            const QByteArray command = words.value(0);
            if (command == "copy") {
                auto* mime = new QMimeData;
                for (qsizetype i = 1; i + 1 < words.size(); i += 2)
                    mime->setData(QString::fromLatin1(words.at(i)), QByteArray::fromBase64(words.at(i + 1)));
                QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
            } else if (command == "stage") {
                staged.clear();
                for (qsizetype i = 1; i + 1 < words.size(); i += 2)
                    staged.append({QString::fromLatin1(words.at(i)), QByteArray::fromBase64(words.at(i + 1))});
            } else if (command == "copy-staged") {
                auto* mime = new QMimeData;
                for (const auto& [type, bytes] : staged)
                    mime->setData(type, bytes);
                QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
            } else if (command == "copy-secret") {
                auto* mime = new QMimeData;
                mime->setData(QStringLiteral("text/plain"), line.mid(command.size() + 1));
                mime->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
                QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
            } else if (command == "window") {
                window.show();
                window.raise();
                window.activateWindow();
                edit->setFocus();
                reply("window " + QByteArray::number(qulonglong(window.winId())));
                continue;
            } else if (command == "activate") {
                window.raise();
                window.activateWindow();
            } else if (command == "modal") {
                dialog = new QDialog(&window);
                dialog->setWindowTitle(QStringLiteral("Peer dialog"));
                dialog->setModal(true);
                dialog->resize(200, 80);
                dialog->open();
            } else if (command == "close-modal") {
                if (dialog) {
                    dialog->close();
                    dialog->deleteLater();
                    dialog = nullptr;
                }
                window.activateWindow();
            } else if (command == "clear-text") {
                edit->blockSignals(true);
                edit->clear();
                edit->blockSignals(false);
            } else if (command == "pid") {
                reply("pid " + QByteArray::number(QCoreApplication::applicationPid()));
                continue;
            } else if (command == "quit") {
                reply("ok quit");
                app.quit();
                return;
            }
            reply("ok " + command);
        }
    });
    return app.exec();
}
