#include "form1.h"
#include "messageboxes.h"
#include "qtseriallink.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtSerialLink link;
    Form1 *window = nullptr;
    MessageBoxes boxes(nullptr);
    Form1::Services services;
    services.link = &link;
    services.messages = &boxes;
    window = new Form1(services);
    window->show();
    const int rc = app.exec();
    delete window;
    return rc;
}
