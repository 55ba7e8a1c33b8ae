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
    //! that must not spin.
    static void yieldAndWait();
};
