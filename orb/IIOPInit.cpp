// Installs the IIOP transport in a new ORB's connector factory registry.
#include <OB/ORB.h>

#include <OB/OCI_IIOP_impl.h>

void OBInitIIOP(OCI_ConFactoryRegistry* registry) {
    OB_ASSERT(!CORBA_is_nil(registry));
    OBObjVar<OCI_ConFactory> factory(new OCI_IIOP_ConFactory_impl);
    registry->add_factory(factory.in());
}
