#include <gtest/gtest.h>
#include <QApplication>
#include <QPixmap>
#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "lcd/ui/virtual_lcd.h"
#include "display/ui/analog_scale.h"

TEST(Shot, Take) {
    if (qEnvironmentVariableIsEmpty("SHOT")) GTEST_SKIP();
    TFCOMM w;
    w.show();
    int mode = qEnvironmentVariableIntValue("SHOT");
    if (mode >= 1) {
        LcdState s;
        s.digits = {"1", "2", "3", "4"};
        s.point = 1;
        s.modeCaption = "DCV";
        using E = LcdElement;
        for (E e : {E::LcdDc1, E::LcdV, E::dd4, E::LCDVV, E::LcdAuto, E::LCDsend}) s.light(e);
        if (mode == 2) {
            s.minus = true;
            for (int i = 0; i < int(LcdElement::Count); ++i) s.light(LcdElement(i));
            s.digits = {"o","p","e","n"};
        }
        w.readingConsumer().frameMark();
        w.readingConsumer().lcdApply(s);
        static const ScaleParams p{"4", 4000, 400, 80};
        FrameCountMode m{&p, 40, 40};
        w.readingConsumer().scaleUpdate(m, 123 + 400);
        w.readingConsumer().barGraph(40, 12);
        w.readingConsumer().conversionFailed("'A' is not a valid integer value");
    }
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    w.grab().save(QString("/tmp/shot%1.png").arg(mode));
    w.lcd()->grab().scaled(850, 412).save(QString("/tmp/lcd%1.png").arg(mode));
}
