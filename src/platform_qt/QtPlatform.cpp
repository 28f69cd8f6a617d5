#include "platform_qt/QtPlatform.h"

#include "platform_qt/NetworkWatch.h"
#include "platform_qt/NotificationActions.h"
#include "platform_qt/ShownText.h"
#include "platform_qt/SleepWatch.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringList>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QUrl>

#include <canberra.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace pelko {

namespace {
QString q(const std::string& s) { return QString::fromUtf8(s.data(), int(s.size())); }
std::string s(const QString& q) { return q.toUtf8().toStdString(); }
} // namespace

QtPlatform::QtPlatform() : actions_(std::make_unique<NotificationActions>()) {}

namespace {

// The sound library, loaded at the first sound: a program that never plays
// one does not load it (nor what it brings along) at start.
struct SoundLibrary {
    decltype(&ca_context_create) create = nullptr;
    decltype(&ca_context_play) play = nullptr;

    static const SoundLibrary& get()
    {
        static const SoundLibrary lib = [] {
            SoundLibrary l;
            void* h = dlopen("libcanberra.so.0", RTLD_LAZY | RTLD_LOCAL);
            if (!h)
                return l;
            l.create = reinterpret_cast<decltype(&ca_context_create)>(dlsym(h, "ca_context_create"));
            l.play = reinterpret_cast<decltype(&ca_context_play)>(dlsym(h, "ca_context_play"));
            if (!l.create || !l.play)
                l = SoundLibrary();
            return l;
        }();
        return lib;
    }
};

} // namespace

// The sound connection is left to the end of the process: a context
// destroyed while its sound still plays makes a back end (ALSA through
// PulseAudio) crash in its playing thread.
QtPlatform::~QtPlatform() = default;

QWidget* QtPlatform::ownerFor(DialogOwner owner) const
{
    // Boxes go over the window they come from, so that the window manager
    // stacks them above it, also above a window that stays on top.
    auto* w = static_cast<QWidget*>(owner);
    if (w && w->isVisible())
        return w->window();
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    if (mainWindow_ && mainWindow_->isVisible())
        return mainWindow_;
    return nullptr;
}

namespace {

// A dialog over an owner that stays on top stays on top as well.
void keepAboveOwner(QWidget* dialog, QWidget* owner)
{
    if (owner && owner->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

// Server replies and mail headers end up in these boxes: never rendered.
void setPlainText(QMessageBox& box, QWidget* owner, const QString& text)
{
    keepAboveOwner(&box, owner);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
}

} // namespace

void QtPlatform::messageBox(const std::string& text, DialogOwner owner)
{
    QWidget* parent = ownerFor(owner);
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString(), QMessageBox::Ok, parent);
    // A few lines of it: the whole of a long text would take seconds to lay
    // out and a box as wide as the screen.
    setPlainText(box, parent, BoxText(q(messageLines(text))));
    box.exec();
}

bool QtPlatform::choiceBox(const std::string& text, const std::string& choice, DialogOwner owner)
{
    QWidget* parent = ownerFor(owner);
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString(), QMessageBox::NoButton, parent);
    setPlainText(box, parent, q(messageLines(text)));
    QAbstractButton* chosen = box.addButton(q(choice), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == chosen;
}

void QtPlatform::fatalEnd(const std::string& text)
{
    messageBox(text, nullptr);
    std::fflush(nullptr);
    // Leave without unwinding: destructors of the windows would send QUIT and
    // write the settings file.
    _exit(0);
}

void QtPlatform::playSound(const std::string& wavFile)
{
    // The desktop's sound service plays the file on its own: the call returns
    // at once, and a file or a service that is not there is no error of ours.
    const SoundLibrary& lib = SoundLibrary::get();
    if (!lib.play)
        return;
    if (!sound_ && lib.create(&sound_) != CA_SUCCESS) {
        sound_ = nullptr;
        return;
    }
    lib.play(sound_, 0, CA_PROP_MEDIA_FILENAME, wavFile.c_str(), CA_PROP_MEDIA_ROLE, "event",
             static_cast<const char*>(nullptr));
}

bool QtPlatform::openUrl(const std::string& url)
{
    // The desktop's opener takes any link and fails later, out of sight:
    // without a mail program there is nothing to hand a mailto: link to.
    if (url.rfind("mailto:", 0) == 0 && registeredMailCommand().empty())
        return false;
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
    constexpr size_t kLines = 10, kLineChars = 200;
    // Of each line no more is decoded than a line shown can take (four bytes
    // a character, room for format characters left out): a text of megabytes
    // costs no more than a short one.
    constexpr size_t kLineBytes = 4096;
    QStringList lines;
    size_t start = 0;
    while (start <= text.size()) {
        if (lines.size() == int(kLines)) {
            lines << QString(QChar(0x2026));
            break;
        }
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t taken = std::min(end - start, kLineBytes);
        while (taken > 0 && taken < end - start && (static_cast<unsigned char>(text[start + taken]) & 0xC0) == 0x80)
            --taken; // not inside a character
        const QString raw = QString::fromUtf8(text.data() + start, qsizetype(taken));
        QString line;
        bool cut = false;
        for (const QChar ch : raw) {
            const char16_t c = ch.unicode();
            if (c < 0x20 || (c >= 0x7F && c < 0xA0) || IsHiddenFormat(c))
                continue;
            if (size_t(line.size()) == kLineChars) {
                cut = true;
                break;
            }
            line += (c == 0x2028 || c == 0x2029) ? QChar(' ') : ch;
        }
        if (cut || taken < end - start) {
            if (size_t(line.size()) == kLineChars)
                line.chop(line.back().isLowSurrogate() ? 2 : 1);
            line += QChar(0x2026);
        }
        if (markup) {
            line.replace(QLatin1Char('&'), QLatin1String("&amp;"));
            line.replace(QLatin1Char('<'), QLatin1String("&lt;"));
            line.replace(QLatin1Char('>'), QLatin1String("&gt;"));
        }
        lines << line;
        start = end + 1;
    }
    return s(lines.join(QLatin1Char('\n')));
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
    tray_->setToolTip(PlainToolTip(q(tip)));
    trayState_ = TrayState{tip, false};
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
    if (trayState_ && trayState_->tip == tip && trayState_->newMail == newMail)
        return; // shown already: nothing to redraw
    trayState_ = TrayState{tip, newMail};
    tray_->setToolTip(PlainToolTip(q(tip)));
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
    trayState_.reset();
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

std::pair<std::string, std::string> saveFiltersFor(const std::string& qtFilters, const std::string& name)
{
    const QString all = QStringLiteral("All files (*)");
    QStringList filters = q(qtFilters).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    const QString base = q(name).section('/', -1);
    const int dot = base.lastIndexOf('.');
    if (dot <= 0 || dot + 1 == base.size())
        return {qtFilters, s(all)};
    const QString ext = base.mid(dot + 1).toLower();
    for (const QString& f : filters) {
        const QString patterns = f.section('(', -1).section(')', 0, 0);
        for (const QString& p : patterns.split(' ', Qt::SkipEmptyParts))
            if (p.toLower() == QStringLiteral("*.") + ext)
                return {qtFilters, s(f)};
    }
    const QString own = ext + QStringLiteral(" files (*.") + ext + ')';
    filters.prepend(own);
    return {s(filters.join(QStringLiteral(";;"))), s(own)};
}

QString QtPlatform::startDir(const FileDialogPlace& place) const
{
    if (!place.startDir.empty() && QDir(q(place.startDir)).exists())
        return q(place.startDir);
    if (!lastDir_.isEmpty() && QDir(lastDir_).exists())
        return lastDir_;
    return QDir::homePath();
}

std::optional<std::string> QtPlatform::openFileDialog(const std::string& filter, const FileDialogPlace& place,
                                                      DialogOwner owner)
{
    QWidget* parent = ownerFor(owner);
    const QString filters = q(qtFilterFromPipes(filter));
    QString selected = place.preferAllFiles ? filters.section(QStringLiteral(";;"), -1) : QString();
    const QString f = QFileDialog::getOpenFileName(parent, QString(), startDir(place), filters, &selected);
    if (f.isEmpty())
        return std::nullopt;
    lastDir_ = QFileInfo(f).absolutePath();
    return s(f);
}

std::optional<std::string> QtPlatform::saveFileDialog(const std::string& presetName, const std::string& filter,
                                                      const FileDialogPlace& place, DialogOwner owner)
{
    QWidget* parent = ownerFor(owner);
    const auto [filters, chosen] = saveFiltersFor(qtFilterFromPipes(filter), presetName);
    QString selected = q(chosen);
    const QString preset = QDir(startDir(place)).filePath(q(presetName));
    const QString f = QFileDialog::getSaveFileName(parent, QString(), preset, q(filters), &selected);
    if (f.isEmpty())
        return std::nullopt;
    lastDir_ = QFileInfo(f).absolutePath();
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
                                q(notificationText(body, true)), actions_->nextActions(),
                                QVariantMap(), int(-1));
    if (r.isValid())
        actions_->sent(bus, r.value());
    return r.isValid();
}

void QtPlatform::setNotificationAction(std::function<void()> onClick)
{
    actions_->setNext(std::move(onClick));
}

bool QtPlatform::askYesNo(const std::string& text, DialogOwner owner)
{
    QWidget* parent = ownerFor(owner);
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), QString(),
                    QMessageBox::Yes | QMessageBox::No, parent);
    setPlainText(box, parent, q(messageLines(text))); // the text may quote a mail header
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtPlatform::setSleepHandlers(std::function<void()> beforeSleep, std::function<void()> afterWake)
{
    if (!sleep_) {
        if (!beforeSleep && !afterWake)
            return;
        sleep_ = std::make_unique<SleepWatch>(SleepWatch::SystemBusAddress());
    }
    sleep_->setHandlers(std::move(beforeSleep), std::move(afterWake));
}

void QtPlatform::sleepReady()
{
    if (sleep_)
        sleep_->ready();
}

NetworkWatch& QtPlatform::network()
{
    if (!network_)
        network_ = std::make_unique<NetworkWatch>();
    return *network_;
}

void QtPlatform::setOnlineHandler(std::function<void(bool online)> onChange)
{
    network().setHandler(std::move(onChange));
}

OnlineState QtPlatform::isOnline()
{
    return network().state();
}

} // namespace pelko
