#include "platform/qt/QtPlatform.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QUrl>

#include <cstdio>
#include <unistd.h>

namespace pelko {

namespace {
QString q(const std::string& s) { return QString::fromUtf8(s.data(), int(s.size())); }
std::string s(const QString& q) { return q.toUtf8().toStdString(); }
} // namespace

QtPlatform::QtPlatform() = default;
QtPlatform::~QtPlatform() = default;

void QtPlatform::messageBox(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString(), QMessageBox::Ok);
    // Server replies and mail headers end up in these boxes: never rendered.
    box.setTextFormat(Qt::PlainText);
    box.setText(q(messageLines(text)));
    box.exec();
}

void QtPlatform::fatalEnd(const std::string& text)
{
    messageBox(text);
    std::fflush(nullptr);
    // Leave without unwinding: destructors of the windows would send QUIT and
    // write the settings file.
    _exit(0);
}

void QtPlatform::playSound(const std::string& wavFile)
{
    if (!sound_)
        sound_ = std::make_unique<QSoundEffect>();
    sound_->setSource(QUrl::fromLocalFile(q(wavFile)));
    sound_->play();
}

bool QtPlatform::openUrl(const std::string& url)
{
    return QDesktopServices::openUrl(urlFromLinkText(url));
}

QUrl urlFromLinkText(const std::string& text)
{
    const QUrl plain(q(text));
    if (!plain.scheme().isEmpty() || text.empty())
        return plain;
    return QUrl::fromUserInput(q(text));
}

void QtPlatform::launch(const std::string& program, const std::string& parameters)
{
    QProcess::startDetached(q(program), QProcess::splitCommand(q(parameters)));
}

std::string desktopExecLine(const std::string& text)
{
    QString exec;
    bool inEntry = false;
    for (const QString& line : q(text).split('\n')) {
        QString t = line.trimmed();
        if (t.startsWith('['))
            inEntry = (t == QLatin1String("[Desktop Entry]"));
        else if (inEntry && t.startsWith(QLatin1String("Exec="))) {
            exec = t.mid(5);
            break;
        }
    }
    // Drop the field codes (%u, %U, %f, ...); "%%" stands for a percent sign.
    QString out;
    for (int i = 0; i < exec.size(); ++i) {
        if (exec[i] == '%' && i + 1 < exec.size()) {
            if (exec[i + 1] == '%')
                out += '%';
            ++i;
            continue;
        }
        out += exec[i];
    }
    return s(out.simplified());
}

std::string notificationText(const std::string& text, bool markup)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n') || u == 0x7f)
            continue;
        if (markup && c == '&')
            out += "&amp;";
        else if (markup && c == '<')
            out += "&lt;";
        else if (markup && c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

std::string QtPlatform::registeredMailCommand()
{
    QProcess xdg;
    xdg.start(QStringLiteral("xdg-mime"),
              {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/mailto")});
    if (!xdg.waitForFinished(3000))
        return {};
    const QString desktop = QString::fromUtf8(xdg.readAllStandardOutput()).trimmed();
    if (desktop.isEmpty())
        return {};
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktop);
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    return desktopExecLine(f.readAll().toStdString());
}

bool QtPlatform::trayAdd(const std::string& tip, std::function<void(TrayPress)> onPress)
{
    if (tray_)
        return false; // already there: a second add has no effect
    tray_ = std::make_unique<QSystemTrayIcon>(QApplication::windowIcon());
    tray_->setToolTip(q(tip));
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated,
                     [onPress](QSystemTrayIcon::ActivationReason r) {
                         if (r == QSystemTrayIcon::Trigger)
                             onPress(TrayPress::Left);
                         else if (r == QSystemTrayIcon::Context)
                             onPress(TrayPress::Right);
                     });
    tray_->show();
    return true;
}

void QtPlatform::trayShow(const std::string& tip, bool newMail)
{
    if (!tray_)
        return;
    tray_->setToolTip(q(tip));
    QIcon icon = QApplication::windowIcon();
    if (newMail) {
        // The program's picture with a red dot in its upper right corner.
        QIcon marked;
        for (const QSize& size : icon.availableSizes()) {
            QPixmap pm = icon.pixmap(size);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const qreal d = size.width() * 0.45;
            p.setPen(QPen(Qt::white, qMax(1.0, size.width() / 16.0)));
            p.setBrush(QColor(220, 30, 30));
            p.drawEllipse(QRectF(size.width() - d - 0.5, 0.5, d, d));
            p.end();
            marked.addPixmap(pm);
        }
        icon = marked;
    }
    tray_->setIcon(icon);
}

void QtPlatform::trayRemove()
{
    tray_.reset();
}

std::string qtFilterFromPipes(const std::string& filter)
{
    const QStringList parts = q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        if (!name.contains('('))
            name += QStringLiteral(" (") + pattern + ')';
        out << name;
    }
    out << QStringLiteral("All files (*)");
    return s(out.join(QStringLiteral(";;")));
}

std::optional<std::string> QtPlatform::openFileDialog(const std::string& filter)
{
    const QString f = QFileDialog::getOpenFileName(nullptr, QString(), QString(), q(qtFilterFromPipes(filter)));
    if (f.isEmpty())
        return std::nullopt;
    return s(f);
}

std::optional<std::string> QtPlatform::saveFileDialog(const std::string& presetName, const std::string& filter)
{
    const QString f = QFileDialog::getSaveFileName(nullptr, QString(), q(presetName), q(qtFilterFromPipes(filter)));
    if (f.isEmpty())
        return std::nullopt;
    return s(f);
}

bool QtPlatform::notify(const std::string& title, const std::string& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusInterface n(QStringLiteral("org.freedesktop.Notifications"),
                     QStringLiteral("/org/freedesktop/Notifications"),
                     QStringLiteral("org.freedesktop.Notifications"), bus);
    if (!n.isValid())
        return false;
    QDBusReply<uint> r = n.call(QStringLiteral("Notify"), QStringLiteral("Pelko"), uint(0),
                                QStringLiteral("mail-unread"), q(notificationText(title, false)),
                                q(notificationText(body, true)), QStringList(),
                                QVariantMap(), int(-1));
    return r.isValid();
}

} // namespace pelko
