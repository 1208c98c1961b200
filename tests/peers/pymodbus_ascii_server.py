"""A Modbus ASCII slave on pymodbus, for interoperability tests.

    pymodbus_ascii_server.py DEVICE SLAVE-ID

Serves 100 holding registers (register n holds n * 10) and 64 coils (all off)
from address 0 at 9600,N,8,1; addresses beyond get pymodbus's Illegal Data
Address exception.
"""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusAsciiFramer


def main():
    device, unit = sys.argv[1], int(sys.argv[2])
    store = ModbusSlaveContext(
        di=ModbusSequentialDataBlock(0, [0] * 64),
        co=ModbusSequentialDataBlock(0, [0] * 64),
        hr=ModbusSequentialDataBlock(0, [n * 10 for n in range(100)]),
        ir=ModbusSequentialDataBlock(0, [0] * 100),
        zero_mode=True)
    context = ModbusServerContext(slaves={unit: store}, single=False)
    StartSerialServer(context=context, framer=ModbusAsciiFramer, port=device,
                      baudrate=9600, bytesize=8, parity="N", stopbits=1, timeout=0.05)


if __name__ == "__main__":
    main()
