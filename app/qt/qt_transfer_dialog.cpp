#include "app/qt/qt_transfer_dialog.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>

#include "app/qt/dialog_units.h"
#include "app/qt/file_status_list.h"
#include "app/qt/percent_progress_ctrl.h"

// The resources live in a static library: nothing refers to them, so the
// linker would drop them unless they are registered by name. The macro must
// be used outside any namespace.
static void InitialiseAppQtResources() {
    Q_INIT_RESOURCE(app_qt);
}

namespace app::qt {

namespace {

const QString kFontFace = QStringLiteral("MS Sans Serif");
constexpr int kDestinationCellHeight = 14;

QFont SwissFont() {
    QFont font(kFontFace);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace

QFont LayoutFont() {
    QFont font = SwissFont();
    font.setPointSize(8);
    return font;
}

QFont DestinationFont() {
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
                          Qt::WindowCloseButtonHint),
      prompter_(prompter != nullptr ? std::move(prompter) : std::make_unique<BoxPrompter>()),
      icon_(ApplicationIcon()),
      dialogFont_(DestinationFont()) {
    setWindowTitle(QStringLiteral("Downloading File(s)"));
    setWindowIcon(icon_);
    setFont(LayoutFont());
    setSizeGripEnabled(false);

    // Laid out in dialog units of the dialog's font, as a fixed-size dialog.
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(231, 141));

    caption_ = new QLabel(QStringLiteral("Destination Folder:"), this);
    caption_->setGeometry(units.Rect(7, 7, 70, 8));
    caption_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    destination_ = new QLineEdit(this);
    destination_->setGeometry(units.Rect(7, 17, 217, 14));
    destination_->setReadOnly(true);
    destination_->setFrame(false);
    destination_->setFont(dialogFont_);
    // A read-only box without border reads as text on the dialog.
    QPalette destinationPalette = destination_->palette();
    destinationPalette.setColor(QPalette::Base, destinationPalette.color(QPalette::Window));
    destination_->setPalette(destinationPalette);

    statusList_ = new FileStatusList(this);
    statusList_->setGeometry(units.Rect(7, 33, 217, 42));

    // The bar's border is drawn around it, so the bar paints all of its own
    // area.
    barFrame_ = new QFrame(this);
    barFrame_->setFrameStyle(QFrame::Box | QFrame::Plain);
    barFrame_->setLineWidth(1);
    barFrame_->setGeometry(units.Rect(7, 92, 217, 14));
    progressBar_ = new PercentProgressCtrl(barFrame_);
    progressBar_->setGeometry(barFrame_->contentsRect());

    closeButton_ = new QPushButton(QStringLiteral("Close"), this);
    closeButton_->setGeometry(units.Rect(174, 120, 50, 14));
    closeButton_->setDefault(true);
    closeButton_->setEnabled(false);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

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
    setToolTip(QString::fromStdString(text));
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
    if (summary.complete) {
        setWindowTitle(QStringLiteral("Download Complete"));
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

}  // namespace app::qt
