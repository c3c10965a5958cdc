#include "camera/serial_connection.h"

#include "camera/clserial.h"
#include "camera/clserial_ctl.h"

SerialConnection::SerialConnection(Log& log) : log_(log) {}

SerialConnection::~SerialConnection() = default;

void SerialConnection::take_ports(std::unique_ptr<ClSerialPortList> ports)
{
    if (ports_) earlier_ports_.push_back(std::move(ports_));
    ports_ = std::move(ports);
}

bool SerialConnection::open_interface(const String& name)
{
    chosen_ = ports_->find(name);
    return true;
}

ConnectResult SerialConnection::connect(const String&)
{
    if (!chosen_) return ConnectResult::done;
    try {
        chosen_->serial->open(chosen_->index);
    } catch (int code) {
        if (code != clser_open_failed) throw;
        return ConnectResult::line_failed;
    }
    ctl_.reset(new CLSerial_CTL(*chosen_, log_));
    return ConnectResult::done;
}

IPort* SerialConnection::port() const { return ctl_.get(); }

void SerialConnection::close()
{
    if (!chosen_) return;
    ctl_.reset();
    chosen_->serial->close();
}
