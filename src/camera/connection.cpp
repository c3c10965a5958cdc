#include "camera/connection.h"

#include "camera/clserial.h"
#include "camera/gentl_connection.h"
#include "camera/serial_connection.h"
#include "lib/log.h"

CtiOpened open_cti(std::unique_ptr<Connection> connection, const String& file_name, Log& log)
{
    console_print("open_cti('%s')\n", file_name.c_str());
    CtiOpened opened;
    std::unique_ptr<GenTLProducer> producer = GenTLProducer::open(file_name, &log);
    if (!producer) {
        console_print("cannot open cti\n");
        opened.connection = std::move(connection);
        opened.status = gentl::GC_ERR_ERROR;
        return opened;
    }
    GenTLConnection* gentl = dynamic_cast<GenTLConnection*>(connection.get());
    if (!gentl) {
        gentl = new GenTLConnection(log, std::move(connection));
        connection.reset(gentl);
    }
    opened.status = gentl->bind(std::move(producer));
    opened.connection = std::move(connection);
    return opened;
}

std::unique_ptr<Connection> open_clser(std::unique_ptr<Connection> connection, Log& log)
{
    console_print("open_clser\n");
    std::unique_ptr<ClSerialPortList> ports(new ClSerialPortList(log));
    console_print("available ports:\n");
    for (int32_t i = 0; i < ports->ports.count(); ++i)
        console_print("%s\n", ports->ports.at(i)->name.c_str());
    if (dynamic_cast<GenTLConnection*>(connection.get())) return connection;
    SerialConnection* serial = dynamic_cast<SerialConnection*>(connection.get());
    if (!serial) {
        serial = new SerialConnection(log);
        connection.reset(serial);
    }
    serial->take_ports(std::move(ports));
    return connection;
}
