#include "form1.h"
#include "ui_form1.h"

#include "freeformsender.h"
#include "receivetext.h"
#include "transmitter.h"

// stub: to be written
Form1::Form1(const Services &services, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::Form1), m_services(services)
{
    ui->setupUi(this);
}
Form1::~Form1() = default;
QString Form1::GetSerialPort() { return {}; }
