// The seven wiringPi operations the program uses, declared as the library declares them.
// Builds without the library provide them from the simulator; tests provide their own.
#pragma once

#define INPUT 0
#define OUTPUT 1
#define LOW 0
#define HIGH 1

#ifdef __cplusplus
extern "C" {
#endif

int wiringPiSetup(void);
void pinMode(int pin, int mode);
void digitalWrite(int pin, int value);
int digitalRead(int pin);
unsigned int micros(void);
void delay(unsigned int ms);
void delayMicroseconds(unsigned int us);

#ifdef __cplusplus
}
#endif
