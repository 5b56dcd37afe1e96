// A window on a caller's buffer holding the value of one BML element (a
// record). Writes elements into it, keeping the enclosing lengths current,
// and finds elements in it by tag. It never owns, allocates or copies the
// bytes it works on.
#ifndef KELM_BML_CBMLPACKAGE_H
#define KELM_BML_CBMLPACKAGE_H

#include <cstdint>

#include <boost/shared_ptr.hpp>

class CBMLFieldMap;
class CBMLRecordSet;
namespace BMLElement
{
struct View;
}

// The 18 virtual operations keep this slot order in every class of the
// family. There is deliberately no virtual destructor: objects are stack
// values, and the shared pointers handed out by the factory slots delete
// through the static type they were created with.
class CBMLPackage
{
public:
    CBMLPackage();

    virtual void Attach(uint8_t* data, uint32_t capacity, uint32_t length, CBMLPackage* parent);  // 0
    virtual void Detach();                                                                       // 1
    virtual int OnWriteAttach();                                                                 // 2
    virtual int OnReadAttach();                                                                  // 3
    virtual int AppendBytes(const void* bytes, uint32_t count);                                  // 4
    virtual int AddChild(uint16_t tag, CBMLPackage* child);                                      // 5
    virtual boost::shared_ptr<CBMLRecordSet> AddRecordSet(uint16_t tag);                         // 6
    virtual int AddRecordSet(uint16_t tag, CBMLRecordSet* set);                                  // 7
    virtual boost::shared_ptr<CBMLPackage> AddPackage(uint16_t tag);                             // 8
    virtual int AddPackage(uint16_t tag, CBMLPackage* child);                                    // 9
    virtual int GetChild(uint16_t tag, CBMLPackage* child);                                      // 10
    virtual boost::shared_ptr<CBMLRecordSet> GetRecordSet(uint16_t tag);                         // 11
    virtual int GetRecordSet(uint16_t tag, CBMLRecordSet* set);                                  // 12
    virtual boost::shared_ptr<CBMLPackage> GetPackage(uint16_t tag);                             // 13
    virtual int GetPackage(uint16_t tag, CBMLPackage* child);                                    // 14
    virtual int Commit(uint32_t count);                                                          // 15
    virtual uint8_t* GetBuffer();                                                                // 16
    virtual uint32_t GetLength();                                                                // 17

    // Offset of an element with the tag, searching circularly from the
    // cursor; -1 when absent or when the window is malformed.
    int Locate(uint16_t tag);

    // The value GetPackage(tag, child) would attach the child to, found the
    // same way (the cursor moves alike), without a child; data is null when
    // GetPackage would fail.
    struct Value
    {
        const uint8_t* data;
        uint32_t length;
    };
    Value FindValue(uint16_t tag);

    // Appends one record element holding the map's fields; returns the
    // bytes packed into it, or -1.
    int AddRecord(const CBMLFieldMap& map, uint16_t tag);

    // The window; a decoder unpacks a found record with
    // map.Unpack(child.GetBuffer(), child.GetLength()).
    uint8_t* GetData() const { return m_data; }
    uint32_t GetCapacity() const { return m_capacity; }
    uint32_t GetCursor() const { return m_cursor; }
    CBMLPackage* GetParent() const { return m_parent; }
    bool IsAttached() const { return m_data != nullptr; }

protected:
    // Bytes that may still be written: 0 for reading windows, whose capacity
    // is 0 while their length is not.
    uint32_t Room() const { return m_capacity > m_length ? m_capacity - m_length : 0; }

    uint8_t* m_data;        // start of the window; null = unattached
    uint32_t m_capacity;    // bytes writable from m_data (0 when reading)
    uint32_t m_length;      // bytes in use from m_data
    uint32_t m_cursor;      // where Locate starts and leaves the element found
    CBMLPackage* m_parent;  // enclosing package while writing

private:
    void OpenElement(uint16_t tag, CBMLPackage* child);
    bool FindElement(uint16_t tag, BMLElement::View& view);
};

#endif
