// Renders the transfer dialog, filled with a typical run, to a PNG:
//   render_dialog OUTPUT.png
// It runs on the off-screen platform, so it needs no display. That platform
// has no window manager, so a plain title bar with the dialog's icon and
// title is drawn above the dialog to show them too.

#include <QApplication>
#include <QByteArray>
#include <QPainter>
#include <QPixmap>
#include <cstdio>

#include "app/qt/qt_transfer_dialog.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_dialog OUTPUT.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QApplication application(argc, argv);

    app::qt::QtTransferDialog dialog;
    // The bar takes positions once its window exists.
    dialog.show();
    QApplication::processEvents();

    dialog.ShowDestination("/home/user/Downloads");
    app::FileListView& list = dialog.FileList();
    list.AddLine("quarterly-report.xlsx  86K  (1 of 10)");
    list.AddLine("Complete");
    list.AddLine("contract-scan.tif  5,120K Compressed (2 of 10)");
    list.AddLine("File Exists. Download Skipped.");
    list.AddLine("a.pdf  1,234K  (3 of 10)");
    list.ScrollToEnd();
    app::ProgressBarView& bar = dialog.Bar();
    bar.SetStep(1);
    bar.SetRange(0, 1234);
    bar.SetPos(519);  // 42%
    QApplication::processEvents();

    const QPixmap client = dialog.grab();
    constexpr int kTitleHeight = 24;
    QPixmap picture(client.width(), client.height() + kTitleHeight);
    picture.fill(QColor(0x2b, 0x3a, 0x4a));
    {
        QPainter painter(&picture);
        painter.drawPixmap(4, (kTitleHeight - 16) / 2, dialog.windowIcon().pixmap(16, 16));
        QFont title = dialog.font();
        title.setBold(true);
        painter.setFont(title);
        painter.setPen(Qt::white);
        painter.drawText(QRect(26, 0, client.width() - 30, kTitleHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, dialog.windowTitle());
        painter.drawPixmap(0, kTitleHeight, client);
    }
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "render_dialog: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
