// A window of another program for the end-to-end drag and drop cases, as a
// file manager's window would be: "target OUT" writes the URIs dropped on it
// to OUT, one a line; "source PATH..." drags those files out when the mouse
// is pressed and moved on it.
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class OtherWindow : public QWidget {
public:
    OtherWindow(bool source, QStringList args) : source_(source), args_(std::move(args)) {
        setAcceptDrops(!source_);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        QFile out(args_.value(0));
        if (!out.open(QIODevice::WriteOnly)) return;
        for (const QUrl& url : e->mimeData()->urls()) out.write(url.toString().toUtf8() + '\n');
        e->acceptProposedAction();
    }
    void mousePressEvent(QMouseEvent* e) override { press_ = e->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!source_ || !(e->buttons() & Qt::LeftButton)) return;
        if ((e->position().toPoint() - press_).manhattanLength() < QApplication::startDragDistance()) return;
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& path : args_) urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    bool source_;
    QStringList args_;
    QPoint press_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool source = args.value(0) == "source";
    args.removeFirst();
    OtherWindow window(source, args);
    window.setWindowTitle(source ? "other window: source" : "other window: target");
    window.setGeometry(1060, 60, 200, 200);
    window.show();
    return app.exec();
}
