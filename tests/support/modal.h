#pragma once
// Answering modal dialogs in window tests: code under test calls exec(), and the handler runs
// inside that dialog's event loop once it is the active modal widget.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

namespace testsupport {

// Runs handler on the first modal dialog of type T that opens within ms (polled every 20 ms).
// The limit only ends the polling; a test waits for the handler's effect itself, so it is
// generous for machines that are busy running other tests.
template <typename T> void whenModal(std::function<void(T *)> handler, int ms = 120000)
{
    auto *timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, handler, started, ms] {
        if (auto *d = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            handler(d);
        } else if (started->elapsed() > ms) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

} // namespace testsupport
