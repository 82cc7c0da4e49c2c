// A window shaped like a browser for the accessibility test: an address field in a tool bar.
// a11y_test_browser <title> <address> <file written on Return>
// As a browser showing a page does, it starts with the focus in the page, and Return moves the
// focus from the field to the page.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QTextEdit>
#include <QToolBar>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4)
        return 2;
    QMainWindow w;
    w.setWindowTitle(QString::fromUtf8(argv[1]));
    auto* bar = w.addToolBar("Navigation");
    auto* address = new QLineEdit(QString::fromUtf8(argv[2]));
    address->setAccessibleName("Address");
    bar->addWidget(address);
    auto* page = new QTextEdit("page");
    page->setReadOnly(true);
    w.setCentralWidget(page);
    const QString out = QString::fromUtf8(argv[3]);
    QObject::connect(address, &QLineEdit::returnPressed, [address, page, out] {
        QFile f(out);
        if (f.open(QIODevice::WriteOnly))
            f.write(address->text().toUtf8());
        page->setFocus();
    });
    w.resize(400, 200);
    w.show();
    page->setFocus();
    return app.exec();
}
