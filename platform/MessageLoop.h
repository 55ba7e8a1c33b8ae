#pragma once

/*!
    The message-loop yield: lets every pending event run before returning.
    Handlers that call it may be re-entered.
*/
class MessageLoop
{
public:
    static void yield();
    //! As yield(), but sleeps until at least one event has arrived; for wait loops
    //! that must not spin. A posted event run here may already have met the
    //! caller's condition before the sleep: loops must also wake on a timer or
    //! on the event that changes their condition.
    static void yieldAndWait();
};
