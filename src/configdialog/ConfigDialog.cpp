// Builds the configuration dialog's window: the page bar, the four pages
// and the OK / Cancel buttons.
#include "configdialog/ConfigDialog.h"

#include "config/SettingsFile.h"
#include "configdialog/ConfigLinks.h"
#include "configdialog/LinkLabel.h"
#include "configdialog/OneLineValidator.h"
#include "configdialog/PanelIcons.h"
#include "skinqt/ImgBtn.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

namespace pelko {

namespace {

constexpr int kClientWidth = 412, kClientHeight = 297;
constexpr int kPanelLeft = 88, kPanelTop = 8, kPanelWidth = 320, kPanelHeight = 244;

void setBase(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, c);
    w->setPalette(pal);
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QVBoxLayout* compactColumn(QWidget* owner)
{
    auto* v = new QVBoxLayout(owner);
    v->setContentsMargins(8, 6, 8, 6);
    v->setSpacing(3);
    return v;
}

} // namespace

TConfig::TConfig(Commun& c, Platform& p, ConfigHost& host, QWidget* parent)
    : QDialog(parent), c_(c), p_(p), host_(host)
{
    setObjectName(QStringLiteral("Config"));
    setWindowTitle(QStringLiteral("Pelko Configuration"));
    // Single border, only a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);
    setFixedSize(kClientWidth, kClientHeight);

    buildPanelBar();

    OptPan = buildOptionsPanel();
    PopPan = buildAccountsPanel();
    SkinPan = buildSkinPanel();
    InfoPan = buildCreditsPanel();
    for (QWidget* pan : {OptPan, PopPan, SkinPan, InfoPan})
        pan->setGeometry(kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight);

    OK = new QPushButton(QStringLiteral("&OK"), this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(250, 264, 75, 25);
    OK->setDefault(true);
    Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setGeometry(333, 264, 75, 25);
    Cancel->setAutoDefault(false);
    connect(OK, &QPushButton::clicked, this, [this] { OKClick(); });
    connect(Cancel, &QPushButton::clicked, this, [this] { CancelClick(); });

    HideAllPanels();
    OptPan->show();
}

TConfig::~TConfig() = default;

void TConfig::buildPanelBar()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 84, kClientHeight);
    Panel1->setAutoFillBackground(true);
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, QColor(139, 157, 190));
    Panel1->setPalette(pal);

    struct Page {
        TImgBtn** button;
        const char* name;
        const char* caption;
        QImage picture;
        void (TConfig::*handler)();
    };
    const Page pages[] = {
        {&OptBtn, "OptBtn", "Options", OptionsIcon(), &TConfig::OptBtnClick},
        {&AccBtn, "AccBtn", "Accounts", AccountsIcon(), &TConfig::AccBtnClick},
        {&SkinBtn, "SkinBtn", "Skin Info", SkinInfoIcon(), &TConfig::SkinBtnClick},
        {&InfoBtn, "InfoBtn", "Credits", CreditsIcon(), &TConfig::InfoBtnClick},
    };
    int top = 8;
    for (const Page& pg : pages) {
        auto* b = new TImgBtn(Panel1);
        b->setObjectName(QString::fromLatin1(pg.name));
        b->setFrame(true);
        b->setAutosize(false);
        b->setCheckButton(true);
        b->setCheckColor(QColor(184, 196, 216));
        b->setFrameColor(QColor(207, 207, 207));
        b->setCaption(QString::fromLatin1(pg.caption));
        b->setPicOff(pg.picture);
        b->setGeometry(6, top, 72, 51);
        b->setCursor(Qt::PointingHandCursor);
        const auto handler = pg.handler;
        b->OnClick = [this, handler] { (this->*handler)(); };
        *pg.button = b;
        top += 55;
    }
}

QWidget* TConfig::buildOptionsPanel()
{
    auto* pan = new QWidget(this);
    pan->setObjectName(QStringLiteral("OptPan"));
    auto* outer = new QVBoxLayout(pan);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(QStringLiteral(" Options : "), pan);
    outer->addWidget(group);
    auto* v = compactColumn(group);

    ChkAuto = new QCheckBox(QStringLiteral("&Autoconnect to POP server on startup"), group);
    ChkAuto->setObjectName(QStringLiteral("ChkAuto"));
    v->addWidget(ChkAuto);

    auto* minutesRow = new QHBoxLayout;
    ChkMin = new QCheckBox(QStringLiteral("&Check for messages every : "), group);
    ChkMin->setObjectName(QStringLiteral("ChkMin"));
    Min = new QSpinBox(group);
    Min->setObjectName(QStringLiteral("Min"));
    Min->setRange(kMinMinutes, kMaxMinutes);
    Min->setValue(1);
    Min->setWrapping(false);
    Min->setFixedWidth(48);
    minutesRow->addWidget(ChkMin);
    minutesRow->addWidget(Min);
    minutesRow->addWidget(plainLabel(QStringLiteral("minutes"), group));
    minutesRow->addStretch(1);
    v->addLayout(minutesRow);

    ChkHead = new QCheckBox(QStringLiteral("Retrieve &only headers in message window"), group);
    ChkHead->setObjectName(QStringLiteral("ChkHead"));
    v->addWidget(ChkHead);
    ChkTray = new QCheckBox(QStringLiteral("Show icon in Tra&y"), group);
    ChkTray->setObjectName(QStringLiteral("ChkTray"));
    v->addWidget(ChkTray);
    ChkNotify = new QCheckBox(QStringLiteral("Show a desktop notification on new mail"), group);
    ChkNotify->setObjectName(QStringLiteral("ChkNotify"));
    v->addWidget(ChkNotify);
    ChkStart = new QCheckBox(QStringLiteral("Start with the desktop session"), group);
    ChkStart->setObjectName(QStringLiteral("ChkStart"));
    v->addWidget(ChkStart);

    auto fileRow = [group, v](QCheckBox*& check, const QString& caption, const char* checkName,
                              QLineEdit*& edit, const char* editName, QPushButton*& browse,
                              const char* browseName) {
        check = new QCheckBox(caption, group);
        check->setObjectName(QString::fromLatin1(checkName));
        v->addWidget(check);
        auto* row = new QHBoxLayout;
        edit = new QLineEdit(group);
        edit->setObjectName(QString::fromLatin1(editName));
        KeepOneLine(edit);
        browse = new QPushButton(QStringLiteral("..."), group);
        browse->setObjectName(QString::fromLatin1(browseName));
        browse->setFixedWidth(28);
        browse->setAutoDefault(false);
        row->addSpacing(18);
        row->addWidget(edit);
        row->addWidget(browse);
        v->addLayout(row);
    };
    fileRow(ChkSnd, QStringLiteral("&Play sound on new mail"), "ChkSnd", SndFile, "SndFile", SndBr,
            "SndBr");
    fileRow(ChkMail, QStringLiteral("&Run custom mail client"), "ChkMail", MailClient, "MailClient",
            Button1, "Button1");
    v->addStretch(1);

    connect(SndBr, &QPushButton::clicked, this, [this] { SndBrClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    return pan;
}

QWidget* TConfig::buildAccountsPanel()
{
    auto* pan = new QWidget(this);
    pan->setObjectName(QStringLiteral("PopPan"));
    auto* outer = new QHBoxLayout(pan);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(6);
    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    outer->addLayout(left, 1);

    auto* info = new QGroupBox(QStringLiteral(" Account Info : "), pan);
    auto* grid = new QGridLayout(info);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    auto field = [info, grid](int row, const QString& caption, const char* name, QLineEdit*& edit) {
        edit = new QLineEdit(info);
        edit->setObjectName(QString::fromLatin1(name));
        // Every field looks editable alike (a tinted name field reads as disabled).
        setBase(edit, QColor(255, 255, 221));
        KeepOneLine(edit);
        auto* label = new QLabel(caption, info);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return label;
    };
    field(0, QStringLiteral("&Name :"), "NAccount", NAccount);
    field(1, QStringLiteral("&Host : "), "HostTxt", HostTxt);
    field(2, QStringLiteral("&Login : "), "UserName", UserName);
    PasswordLabel = field(3, QStringLiteral("&Passwd : "), "Password", Password);
    // Room for the label a token command gets, so that the fields stay put.
    grid->setColumnMinimumWidth(0, QFontMetrics(info->font()).horizontalAdvance(QStringLiteral("Command : ")));
    buildServerChoice(info);
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    // How the account signs in: where the secret comes from, and the mechanism.
    SecretBox = new QComboBox(info);
    SecretBox->setObjectName(QStringLiteral("SecretBox"));
    SecretBox->addItems({QStringLiteral("Password"), QStringLiteral("Keyring"), QStringLiteral("Token cmd")});
    SecretBox->setToolTip(QStringLiteral("Password: kept in Accounts.ini\nKeyring: kept in the desktop keyring\n"
                                         "Token cmd: the Command field holds a command that prints an OAuth 2.0 token"));
    MechBox = new QComboBox(info);
    MechBox->setObjectName(QStringLiteral("MechBox"));
    MechBox->addItems({QStringLiteral("Auto"), QStringLiteral("PLAIN"), QStringLiteral("XOAUTH2"),
                       QStringLiteral("OAUTHBEARER")});
    MechBox->setToolTip(QStringLiteral("Auto: User and Pass (AUTH PLAIN when the server refuses User); XOAUTH2 for a token"));
    auto* signInLabel = new QLabel(QStringLiteral("&Sign in :"), info);
    signInLabel->setBuddy(SecretBox);
    grid->addWidget(signInLabel, 4, 0);
    grid->addWidget(SecretBox, 4, 1);
    // The mechanism under the source: side by side neither would show its whole name.
    MechBox->setAccessibleName(QStringLiteral("Mechanism"));
    grid->addWidget(MechBox, 5, 1);
    connect(SecretBox, &QComboBox::activated, this, [this] { SignInChanged(); });
    connect(MechBox, &QComboBox::activated, this, [this] { SignInChanged(); });
    left->addWidget(info);

    auto* status = new QGroupBox(QStringLiteral(" Account Status "), pan);
    auto* statusRow = new QHBoxLayout(status);
    statusRow->setContentsMargins(8, 4, 8, 4);
    ChkAct = new QRadioButton(QStringLiteral("Active"), status);
    ChkAct->setObjectName(QStringLiteral("ChkAct"));
    ChkInact = new QRadioButton(QStringLiteral("Inactive"), status);
    ChkInact->setObjectName(QStringLiteral("ChkInact"));
    statusRow->addWidget(ChkAct);
    statusRow->addWidget(ChkInact);
    left->addWidget(status);
    left->addStretch(1);

    // The list, wide enough for ten-letter names, over the buttons that act on it.
    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    outer->addLayout(right, 0);
    LstAcc = new QListWidget(pan);
    LstAcc->setObjectName(QStringLiteral("LstAcc"));
    LstAcc->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont italic = LstAcc->font();
    italic.setItalic(true);
    // Room for a scroll bar too: ten accounts may not fit the height.
    const int frame = 2 * LstAcc->frameWidth() + 6 + LstAcc->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    LstAcc->setFixedWidth(QFontMetrics(italic).horizontalAdvance(QString(10, QLatin1Char('N'))) + frame);
    right->addWidget(LstAcc, 1);

    AddAcc = new QPushButton(QStringLiteral("&Add"), pan);
    AddAcc->setObjectName(QStringLiteral("AddAcc"));
    SaveAcc = new QPushButton(QStringLiteral("Sa&ve"), pan);
    SaveAcc->setObjectName(QStringLiteral("SaveAcc"));
    SaveAcc->setToolTip(QStringLiteral("Store the fields into the account selected in the list"));
    DelAcc = new QPushButton(QStringLiteral("&Remove"), pan);
    DelAcc->setObjectName(QStringLiteral("DelAcc"));
    DelAcc->setAutoDefault(false);
    for (QPushButton* b : {AddAcc, SaveAcc, DelAcc}) {
        b->setMinimumWidth(0);
        right->addWidget(b);
    }

    connect(AddAcc, &QPushButton::clicked, this, [this] { AddAccClick(); });
    connect(SaveAcc, &QPushButton::clicked, this, [this] { SaveAccClick(); });
    connect(DelAcc, &QPushButton::clicked, this, [this] { DelAccClick(); });
    connect(LstAcc, &QListWidget::itemClicked, this, [this] { LstAccClick(); });
    connect(LstAcc, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            LstAccClick();
        updateAccountButtons();
    });
    connect(LstAcc, &QListWidget::itemSelectionChanged, this, [this] { updateAccountButtons(); });
    connect(ChkAct, &QRadioButton::clicked, this, [this] { ChkActClick(); });
    connect(ChkInact, &QRadioButton::clicked, this, [this] { ChkInactClick(); });
    return pan;
}

QWidget* TConfig::buildSkinPanel()
{
    auto* pan = new QWidget(this);
    pan->setObjectName(QStringLiteral("SkinPan"));
    auto* v = new QVBoxLayout(pan);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(4);

    InfSk = new QGroupBox(pan);
    InfSk->setObjectName(QStringLiteral("InfSk"));
    auto* nameRow = new QHBoxLayout(InfSk);
    nameRow->setContentsMargins(8, 4, 8, 4);
    QFont bold(QStringLiteral("Arial"));
    bold.setPointSize(9);
    bold.setBold(true);
    SkName = plainLabel({}, InfSk);
    SkName->setObjectName(QStringLiteral("SkName"));
    SkName->setFont(bold);
    SkAuthor = plainLabel({}, InfSk);
    SkAuthor->setObjectName(QStringLiteral("SkAuthor"));
    SkAuthor->setFont(bold);
    nameRow->addWidget(SkName);
    nameRow->addWidget(plainLabel(QStringLiteral("by"), InfSk));
    nameRow->addWidget(SkAuthor);
    nameRow->addStretch(1);
    v->addWidget(InfSk);

    Browse = new QPushButton(QStringLiteral("&Change ..."), pan);
    Browse->setObjectName(QStringLiteral("Browse"));
    Browse->setAutoDefault(false);
    auto* browseRow = new QHBoxLayout;
    browseRow->addStretch(1);
    browseRow->addWidget(Browse);
    v->addLayout(browseRow);

    auto* author = new QGroupBox(QStringLiteral(" Author : "), pan);
    auto* grid = new QGridLayout(author);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(2);
    Skemail = new LinkLabel({}, author);
    Skemail->setObjectName(QStringLiteral("Skemail"));
    SkWeb = new LinkLabel({}, author);
    SkWeb->setObjectName(QStringLiteral("SkWeb"));
    SkWeb->setWordWrap(true);
    grid->addWidget(plainLabel(QStringLiteral("email :"), author), 0, 0, Qt::AlignTop);
    grid->addWidget(Skemail, 0, 1);
    grid->addWidget(plainLabel(QStringLiteral("web :"), author), 1, 0, Qt::AlignTop);
    grid->addWidget(SkWeb, 1, 1);
    grid->setColumnStretch(1, 1);
    v->addWidget(author);

    auto* comments = new QGroupBox(QStringLiteral(" Comments : "), pan);
    auto* commentBox = new QVBoxLayout(comments);
    commentBox->setContentsMargins(8, 4, 8, 4);
    SkInfo = plainLabel({}, comments);
    SkInfo->setObjectName(QStringLiteral("SkInfo"));
    SkInfo->setWordWrap(true);
    SkInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SkInfo->setFixedSize(280, 80);
    commentBox->addWidget(SkInfo);
    v->addWidget(comments);
    v->addStretch(1);

    connect(Browse, &QPushButton::clicked, this, [this] { BrowseClick(); });
    connect(Skemail, &LinkLabel::clicked, this, [this] { SkemailClick(); });
    connect(SkWeb, &LinkLabel::clicked, this, [this] { SkWebClick(); });
    return pan;
}

QWidget* TConfig::buildCreditsPanel()
{
    auto* pan = new QWidget(this);
    pan->setObjectName(QStringLiteral("InfoPan"));
    auto* v = new QVBoxLayout(pan);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(3);

    // A web link label: its address is its hint, and a click opens the hint.
    auto webLink = [this](const QString& text, const char* address, QWidget* parent) {
        auto* l = new LinkLabel(text, parent);
        l->setToolTip(QString::fromLatin1(address));
        connect(l, &LinkLabel::clicked, this, [this, l] { OpenWeb(l->toolTip()); });
        return l;
    };

    auto* info = new QGroupBox(QStringLiteral(" Pelko Info : "), pan);
    auto* infoRow = new QHBoxLayout(info);
    infoRow->setContentsMargins(8, 2, 8, 4);
    auto* icon = new QLabel(info);
    icon->setPixmap(QPixmap::fromImage(PelkoIcon(32)));
    icon->setFixedSize(36, 36);
    infoRow->addWidget(icon, 0, Qt::AlignTop);
    auto* infoText = new QVBoxLayout;
    infoText->setSpacing(1);
    // The makers: their read-me (or the manual page of a copy not installed).
    auto* maker = new LinkLabel(QStringLiteral("The Pelko team"), info);
    maker->setObjectName(QStringLiteral("NRQ"));
    maker->setToolTip(ReadmeFile().empty() ? QStringLiteral("Manual page") : QStringLiteral("Read me"));
    connect(maker, &LinkLabel::clicked, this, [this] { NRQClick(); });
    infoText->addWidget(maker);
    infoText->addWidget(webLink(QStringLiteral("Manual page"), kManualPage, info));
    infoText->addWidget(webLink(QStringLiteral("pelko-check manual page"), kCheckerManualPage, info));
    infoRow->addLayout(infoText, 1);
    infoRow->addWidget(plainLabel(QStringLiteral("v1.1"), info), 0, Qt::AlignTop);
    v->addWidget(info);

    auto* thanks = new QGroupBox(QStringLiteral(" Thanks to : "), pan);
    auto* thanksGrid = new QGridLayout(thanks);
    thanksGrid->setContentsMargins(8, 2, 8, 4);
    thanksGrid->setVerticalSpacing(1);
    thanksGrid->addWidget(plainLabel(QStringLiteral("The skin makers"), thanks), 0, 0);
    thanksGrid->addWidget(plainLabel(QStringLiteral("The testers"), thanks), 0, 1);
    thanksGrid->addWidget(plainLabel(QStringLiteral("The translators"), thanks), 1, 0);
    thanksGrid->addWidget(plainLabel(QStringLiteral("Everyone who reported a bug"), thanks), 1, 1);
    v->addWidget(thanks);

    auto* more = new QGroupBox(QStringLiteral(" For getting/uploading more skins, check : "), pan);
    QPalette maroon = more->palette();
    maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
    more->setPalette(maroon);
    QFont boldFont = more->font();
    boldFont.setBold(true);
    more->setFont(boldFont);
    auto* moreRow = new QHBoxLayout(more);
    moreRow->setContentsMargins(8, 2, 8, 4);
    moreRow->addWidget(plainLabel(QStringLiteral("Pelko's skins :"), more));
    auto* skins = new LinkLabel(QStringLiteral("the skins folder"), more);
    skins->setObjectName(QStringLiteral("SkinsFolder"));
    connect(skins, &LinkLabel::clicked, this, [this] { openLink(SkinsFolder(c_.settings.SkinDir)); });
    moreRow->addWidget(skins);
    moreRow->addStretch(1);
    v->addWidget(more);

    v->addStretch(1);
    auto* notice = plainLabel(
        QStringLiteral("Pelko is made by the Pelko team. Skins and sounds are their makers' own."), pan);
    QFont small = notice->font();
    small.setPointSize(6);
    notice->setFont(small);
    notice->setWordWrap(true);
    v->addWidget(notice);
    return pan;
}

} // namespace pelko
