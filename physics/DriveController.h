// DriveController: turns the throttle into the drive of the four road wheels,
// weaker as the truck speeds up, halved while a wheel nearly stands and cut
// when every wheel turns fast.
#pragma once

class Wheel;

class DriveController {
  public:
    // Binds wheels 0..3 of a world (not owned); null unbinds.
    void bindWheels(Wheel* wheelArray) { wheels = wheelArray; }
    // Once per frame with the throttle in -1..1. Keeps the previous drive
    // while the throttle asks to reverse a clearly rolling truck.
    void update(float throttle);

  private:
    Wheel* wheels = nullptr; // the world's wheel array; at least four wheels
};
