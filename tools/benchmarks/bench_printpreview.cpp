// From a move of the X slider to the print preview repainted on screen, as the
// operator drags it: the main window and the print preview shown, for a
// 48-megapixel photo and a 416 x 96 logo, with each conversion at neutral
// "Jasność" and away from it (and "Próg" with its automatic level); then moves
// of "Jasność" itself. The floor is a
// bare widget of the same size repainting a ready 416 x 96 picture at the same
// zoom: the least any program could do for that repaint. Run it under an X
// display (Xvfb); without one it runs offscreen and says so.
//
//   ./bench_printpreview [moves]
#include "benchapp.h"
#include "benchpicture.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Black text and a mark on white at the logo's own size.
QImage logo()
{
    QImage picture(416, 96, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setBrush(Qt::black);
    painter.drawEllipse(10, 8, 80, 80);
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(56);
    painter.setFont(font);
    painter.drawText(QRect(100, 0, 316, 96), Qt::AlignCenter, QStringLiteral("Sklep"));
    return picture;
}

// Runs `change`, then the event loop until `painted` fires and the pass that
// painted (and flushed to the screen) returns; milliseconds.
double untilPainted(QObject *painter, const char *painted, const std::function<void()> &change)
{
    QEventLoop loop;
    QObject::connect(painter, painted, &loop, SLOT(quit()));
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    const Clock::time_point start = Clock::now();
    change();
    loop.exec();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures
{
    double median = 0;
    double worst = 0;
};

Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// The same repaint with nothing to compute.
class FloorCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit FloorCanvas(const QImage &picture) : picture(picture)
    {
        setFixedSize(416 * 2 + 2, 96 * 2 + 2);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.drawImage(QRect(1, 1, 416 * 2, 96 * 2), picture);
        painter.setPen(Qt::darkGray);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.end();
        emit painted();
    }

private:
    QImage picture;
};

} // namespace

int main(int argc, char **argv)
{
    BenchApplication app(argc, argv);
    const int moves = argc > 1 ? std::max(2, atoi(argv[1])) : 40;

    TestFolder folder;
    RecordingNotifier notifier;
    MainWindow window(&notifier);
    MainWindowTester t(window);
    window.show();
    PrintPreview *preview = t.printPreview();
    if (!QTest::qWaitForWindowExposed(&window) || !QTest::qWaitForWindowExposed(preview))
        return 1;
    auto *canvas = preview->findChild<PrintCanvas *>(QStringLiteral("printCanvas"));
    auto *methods = preview->findChild<QComboBox *>(QStringLiteral("methodBox"));
    auto *brightness = preview->findChild<QSlider *>(QStringLiteral("brightnessSlider"));
    auto *autoLevel = preview->findChild<QCheckBox *>(QStringLiteral("autoLevelCheck"));

    FloorCanvas floor(rasterPicture(buildLogoRaster(logo(), 100, 100, {})));
    floor.show();
    if (!QTest::qWaitForWindowExposed(&floor))
        return 1;
    std::vector<double> floorMs;
    for (int i = 0; i < moves; ++i)
        floorMs.push_back(untilPainted(&floor, SIGNAL(painted()), [&] { floor.update(); }));
    const Figures bare = figures(floorMs);
    floor.hide();

    std::printf("ms from a move of the X slider to the print preview repainted (window and "
                "preview shown on %s), %d moves each; floor: a bare widget repainting a ready "
                "logo at 2x, median %.2f, max %.2f\n",
                qPrintable(QGuiApplication::platformName()), moves, bare.median, bare.worst);
    std::printf("%-10s %-15s %7s %8s %8s %6s %5s %8s\n", "picture", "conversion", "jasnosc",
                "median", "max", "ratio", "goal", "switch");

    const struct
    {
        const char *name;
        QImage picture;
        double goal;
    } pictures[] = {{"logo", logo(), 30}, {"photo 48MP", logoLikePicture(8000, 6000, 1), 100}};
    // Each method, "Próg" also with its automatic level, at neutral and raised
    // "Jasność".
    const struct
    {
        Dither method;
        bool automatic;
        int brightness;
    } conversions[] = {{Dither::Diffusion, false, 0}, {Dither::Diffusion, false, 40},
                       {Dither::Threshold, false, 0}, {Dither::Threshold, false, 40},
                       {Dither::Threshold, true, 40}, {Dither::Atkinson, false, 0},
                       {Dither::Atkinson, false, 40}};
    bool withinGoals = true;
    for (const auto &p : pictures) {
        if (p.picture.isNull())
            return 1;
        // Neutral first: the picture is dithered at the conversion's brightness.
        methods->setCurrentIndex(0);
        brightness->setValue(0);
        t.showPicture(p.picture);
        for (const auto &c : conversions) {
            // Choosing the conversion in the preview.
            const double switchMs = untilPainted(canvas, SIGNAL(painted()), [&] {
                methods->setCurrentIndex(methods->findData(int(c.method)));
                autoLevel->setChecked(c.automatic);
                brightness->setValue(c.brightness);
            });
            QTest::qWait(50);
            std::vector<double> ms;
            for (int i = 0; i < moves; ++i) {
                const int value = 99 - i % 30; // always a change
                ms.push_back(
                    untilPainted(canvas, SIGNAL(painted()), [&] { t.sliderX()->setValue(value); }));
            }
            const Figures f = figures(ms);
            withinGoals = withinGoals && f.median < p.goal;
            const QString name = ditherName(c.method) + (c.automatic ? " auto" : "");
            std::printf("%-10s %-15s %7d %8.2f %8.2f %6.1f %5.0f %8.2f\n", p.name, qPrintable(name),
                        c.brightness, f.median, f.worst,
                        bare.median > 0 ? f.median / bare.median : 0.0, p.goal, switchMs);
        }
    }

    // Moves of "Jasność" itself, as the operator drags it.
    std::printf("ms from a move of \"Jasność\" to the print preview repainted, %d moves each\n",
                moves);
    std::printf("%-10s %-15s %8s %8s\n", "picture", "conversion", "median", "max");
    for (const auto &p : pictures) {
        t.showPicture(p.picture);
        for (Dither method : {Dither::Diffusion, Dither::Threshold, Dither::Atkinson}) {
            untilPainted(canvas, SIGNAL(painted()), [&] {
                methods->setCurrentIndex(methods->findData(int(method)));
                autoLevel->setChecked(method == Dither::Threshold);
            });
            std::vector<double> ms;
            for (int i = 0; i < moves; ++i) {
                const int value = 20 + i % 30;
                ms.push_back(
                    untilPainted(canvas, SIGNAL(painted()), [&] { brightness->setValue(value); }));
            }
            const Figures f = figures(ms);
            std::printf("%-10s %-15s %8.2f %8.2f\n", p.name, qPrintable(ditherName(method)),
                        f.median, f.worst);
        }
    }

    Clock::time_point start = Clock::now();
    const PreparedPicture reduced = preparePicture(pictures[1].picture, {Dither::Atkinson});
    const double reducing = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    start = Clock::now();
    const QImage brightened = toOneBit(pictures[1].picture, 40);
    std::printf("switch: ms from choosing the conversion to the preview repainted; reducing the "
                "photo for Threshold and Atkinson, once per picture: %.1f ms; dithering it "
                "whole at another \"Jasność\": %.1f ms\n",
                reducing, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    std::printf("X slider medians %s the goals\n", withinGoals ? "within" : "NOT within");
    return notifier.isEmpty() ? 0 : 1;
}

#include "bench_printpreview.moc"
