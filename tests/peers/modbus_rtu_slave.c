/* A Modbus RTU slave on libmodbus, for interoperability tests and the bench.
 *
 *   modbus-rtu-slave DEVICE SLAVE-ID
 *
 * Serves 100 holding registers (register n holds n * 10) and 64 coils (all
 * off) from address 0 at 9600,N,8,1; addresses beyond get libmodbus's own
 * Illegal Data Address exception. Prints "ready" once the device is open and
 * answers until it is killed or the line hangs up. */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s DEVICE SLAVE-ID\n", argv[0]);
        return 2;
    }
    modbus_t* ctx = modbus_new_rtu(argv[1], 9600, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, atoi(argv[2])) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "cannot open %s: %s\n", argv[1], modbus_strerror(errno));
        return 1;
    }
    modbus_mapping_t* map = modbus_mapping_new_start_address(0, 64, 0, 0, 0, 100, 0, 0);
    if (!map)
        return 1;
    for (int i = 0; i < 100; ++i)
        map->tab_registers[i] = (uint16_t)(i * 10);
    printf("ready\n");
    fflush(stdout);

    uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        int n = modbus_receive(ctx, req);
        if (n > 0)
            modbus_reply(ctx, req, n, map);
        else if (n < 0 && errno != EMBBADCRC && errno != EMBBADDATA && errno != ETIMEDOUT
                 && errno != EMBBADSLAVE)
            break; /* the line went away */
    }
    modbus_mapping_free(map);
    modbus_close(ctx);
    modbus_free(ctx);
    return 0;
}
