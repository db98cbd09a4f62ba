#include "app/qt/qt_transfer_dialog.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QStringList>
#include <QSvgRenderer>
#include <algorithm>
#include <chrono>

#include "app/qt/desktop.h"
#include "app/qt/dialog_units.h"
#include "app/qt/file_status_list.h"
#include "app/qt/percent_progress_ctrl.h"
#include "app/status_text.h"

// The resources live in a static library: nothing refers to them, so the
// linker would drop them unless they are registered by name. The macro must
// be used outside any namespace.
static void InitialiseAppQtResources() {
    Q_INIT_RESOURCE(app_qt);
}

namespace app::qt {

namespace {

const QString kFontFace = QStringLiteral("MS Sans Serif");
constexpr int kLayoutPoints = 8;
constexpr int kDestinationCellHeight = 14;

// The layout in dialog units at the dialog's smallest size.
constexpr int kWidth = 231;
constexpr int kHeight = 150;

QFont SwissFont() {
    QFont font(kFontFace);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    return font;
}

QFont FixedLayoutFont() {
    QFont font = SwissFont();
    font.setPointSize(kLayoutPoints);
    return font;
}

// Compared as the pixels they are drawn with, so that a desktop font given
// in pixels compares as well as one given in points.
bool LargerThanTheLayoutFont(const QFont& desktop) {
    return QFontInfo(desktop).pixelSize() > QFontInfo(FixedLayoutFont()).pixelSize();
}

QFont WithSizeOf(QFont font, const QFont& desktop) {
    if (desktop.pixelSize() > 0) {
        font.setPixelSize(desktop.pixelSize());
    } else {
        font.setPointSizeF(desktop.pointSizeF());
    }
    return font;
}

}  // namespace

QFont LayoutFont(const QFont& desktop) {
    return LargerThanTheLayoutFont(desktop) ? WithSizeOf(SwissFont(), desktop) : FixedLayoutFont();
}

QFont DestinationFont(const QFont& desktop) {
    if (LargerThanTheLayoutFont(desktop)) {
        return WithSizeOf(SwissFont(), desktop);
    }
    // A cell height, not an em size: take the largest pixel size whose line
    // height fits the cell.
    QFont font = SwissFont();
    for (int pixels = kDestinationCellHeight; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= kDestinationCellHeight) {
            break;
        }
    }
    return font;
}

QString EndTitle(const RunSummary& summary) {
    return QString::fromStdString(app::EndTitleText(summary));
}

QString NotificationSummary(const RunSummary& summary) {
    return summary.complete ? QStringLiteral("Download complete")
                            : QStringLiteral("Download finished with errors");
}

QString NotificationBody(const RunSummary& summary) {
    std::string body = FilesArrived(summary.filesComplete);
    if (!summary.folder.empty()) {
        body += " in " + summary.folder;
    }
    return QString::fromStdString(body + "." + OthersText(summary));
}

QString EndStatus(const RunSummary& summary) {
    return QString::fromStdString(app::EndStatusText(summary));
}

QIcon ApplicationIcon() {
    InitialiseAppQtResources();
    QSvgRenderer renderer(QStringLiteral(":/trevasto/trevasto.svg"));
    QIcon icon;
    if (!renderer.isValid()) {
        return icon;
    }
    for (const int side : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QtTransferDialog::QtTransferDialog(std::unique_ptr<Prompter> prompter, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      prompter_(prompter != nullptr ? std::move(prompter) : std::make_unique<BoxPrompter>()),
      desktop_(std::make_shared<SystemDesktop>()),
      icon_(ApplicationIcon()),
      dialogFont_(DestinationFont(QApplication::font())) {
    setWindowTitle(QStringLiteral("Downloading File(s)"));
    setWindowIcon(icon_);
    setFont(LayoutFont(QApplication::font()));
    setSizeGripEnabled(false);

    caption_ = new QLabel(QStringLiteral("Destination Folder:"), this);
    caption_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    destination_ = new QLineEdit(this);
    destination_->setReadOnly(true);
    destination_->setFrame(false);
    destination_->setFont(dialogFont_);
    // A read-only box without border reads as text on the dialog.
    QPalette destinationPalette = destination_->palette();
    destinationPalette.setColor(QPalette::Base, destinationPalette.color(QPalette::Window));
    destination_->setPalette(destinationPalette);

    statusList_ = new FileStatusList(this);

    // The bar's border is drawn around it, so the bar paints all of its own
    // area.
    barFrame_ = new QFrame(this);
    barFrame_->setFrameStyle(QFrame::Box | QFrame::Plain);
    barFrame_->setLineWidth(1);
    progressBar_ = new PercentProgressCtrl(barFrame_);
    // The frame is the bar's border: it goes and comes with the bar.
    progressBar_->installEventFilter(this);

    // Two lines: the file's figures, then the run's (or what went wrong).
    statusLine_ = new QLabel(this);
    statusLine_->setTextFormat(Qt::PlainText);
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    openFolderButton_ = new QPushButton(QStringLiteral("Open Folder"), this);
    openFolderButton_->setAutoDefault(false);
    openFolderButton_->hide();
    connect(openFolderButton_, &QPushButton::clicked, this, [this] { OpenFolder(); });

    closeButton_ = new QPushButton(QStringLiteral("Close"), this);
    closeButton_->setDefault(true);
    closeButton_->setEnabled(false);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    // Laid out in dialog units of the dialog's font; the dialog is never
    // smaller than that layout.
    const DialogUnits units = DialogUnits::ForFont(font());
    setMinimumSize(units.Size(kWidth, kHeight));
    resize(minimumSize());
    LayOut();

    connect(&timer_, &QTimer::timeout, this, [this] {
        if (timerCallback_) {
            timerCallback_();
        }
    });
}

QtTransferDialog::~QtTransferDialog() = default;

void QtTransferDialog::SetTimerCallback(std::function<void()> callback) {
    timerCallback_ = std::move(callback);
}

void QtTransferDialog::SetCloseRequestHandler(std::function<bool()> handler) {
    closeRequestHandler_ = std::move(handler);
}

void QtTransferDialog::SetDesktop(std::shared_ptr<Desktop> desktop) {
    desktop_ = std::move(desktop);
}

void QtTransferDialog::LayOut() {
    const DialogUnits units = DialogUnits::ForFont(font());
    const QSize smallest = units.Size(kWidth, kHeight);
    const int wider = std::max(0, width() - smallest.width());
    const int taller = std::max(0, height() - smallest.height());
    // A rectangle in dialog units, widened and moved down in pixels.
    const auto place = [&](int x, int y, int w, int h, int widen, int lengthen, int down) {
        return units.Rect(x, y, w, h).adjusted(0, down, widen, down + lengthen);
    };
    caption_->setGeometry(units.Rect(7, 7, 70, 8));
    destination_->setGeometry(place(7, 17, 217, 14, wider, 0, 0));
    statusList_->setGeometry(place(7, 33, 217, 42, wider, taller, 0));
    barFrame_->setGeometry(place(7, 92, 217, 14, wider, 0, taller));
    progressBar_->setGeometry(barFrame_->contentsRect());
    statusLine_->setGeometry(place(7, 109, 217, 16, wider, 0, taller));
    openFolderButton_->setGeometry(units.Rect(118, 129, 52, 14).translated(wider, taller));
    closeButton_->setGeometry(units.Rect(174, 129, 50, 14).translated(wider, taller));
}

bool QtTransferDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == progressBar_) {
        if (event->type() == QEvent::HideToParent) {
            barFrame_->hide();
        } else if (event->type() == QEvent::ShowToParent) {
            barFrame_->show();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void QtTransferDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOut();
}

FileListView& QtTransferDialog::FileList() {
    return *statusList_;
}

ProgressBarView& QtTransferDialog::Bar() {
    return *progressBar_;
}

void QtTransferDialog::ShowDestination(const std::string& text) {
    destination_->setText(QString::fromStdString(text));
    // Show the path from its start, as a box that scrolls only with typing.
    destination_->setCursorPosition(0);
}

void QtTransferDialog::ShowStatus(const std::string& text) {
    // The file's figures on the first line, the run's on the second.
    const QString whole = QString::fromStdString(text);
    statusLine_->setText(QString(whole).replace(QStringLiteral("; "), QStringLiteral("\n")));
    statusLine_->setToolTip(whole);
}

void QtTransferDialog::ShowMessage(const std::string& text) {
    prompter_->Message(this, BoxText(text));
}

void QtTransferDialog::ShowFailure(const std::string& text) {
    prompter_->Warning(this, BoxText(text));
}

bool QtTransferDialog::AskReplace(const std::string& text,
                                  const std::vector<std::string>& existing) {
    QStringList names;
    for (const std::string& name : existing) {
        names << QString::fromStdString(name);
    }
    return prompter_->AskOkCancel(this, BoxText(text), names.join(QLatin1Char('\n')));
}

bool QtTransferDialog::AskStop(const std::string& text) {
    return prompter_->AskStop(this, BoxText(text));
}

std::optional<std::string> QtTransferDialog::ChooseFolder(const std::string& startFolder) {
    return prompter_->ChooseFolder(startFolder);
}

void QtTransferDialog::ShowEnd(const RunSummary& summary) {
    setWindowTitle(EndTitle(summary));
    if (summary.stopped) {
        return;  // the window closes at once
    }
    endFolder_ = summary.folder;
    openFolderButton_->setVisible(!endFolder_.empty());
    statusLine_->setText(EndStatus(summary));
    statusLine_->setToolTip(QString());
    // Someone who turned to other work hears of the end from the desktop.
    if (!isActiveWindow()) {
        desktop_->Notify(NotificationSummary(summary), NotificationBody(summary));
    }
}

void QtTransferDialog::OpenFolder() {
    const QString folder = QString::fromStdString(endFolder_);
    if (!desktop_->OpenFolder(folder)) {
        prompter_->Warning(this, QStringLiteral("Trevasto could not open the folder ") + folder +
                                     QStringLiteral(" in a file manager."));
    }
}

void QtTransferDialog::StartTimer(int periodMs) {
    timer_.start(periodMs);
}

void QtTransferDialog::StopTimer() {
    timer_.stop();
}

void QtTransferDialog::EnableClose() {
    closeButton_->setEnabled(true);
    closeButton_->setFocus();
}

void QtTransferDialog::CloseDialog() {
    closeRequested_ = true;
    done(QDialog::Rejected);
}

int QtTransferDialog::exec() {
    if (closeRequested_) {
        return result();
    }
    return QDialog::exec();
}

void QtTransferDialog::done(int result) {
    timer_.stop();
    QDialog::done(result);
}

void QtTransferDialog::reject() {
    if (closeRequestHandler_ && !closeRequestHandler_()) {
        return;  // the run goes on, or is stopping and closes by itself
    }
    // The handler may have closed the dialog already (a stop during the
    // key's check).
    if (!closeRequested_) {
        QDialog::reject();
    }
}

}  // namespace app::qt
