#include "config/config_text.h"

#include <map>

#include "common/language_module.h"

namespace tess::config {

std::string LangText(unsigned id) { return LoadLangString(id); }

std::string OwnText(unsigned id) {
    static const std::map<unsigned, std::string> kTable = {
        {32772, "Guardar valores actuales\nGuardar valores"},
        {32773, "Ayuda del conducto Tessaline (TM)\nAyuda del conducto Tessaline (TM)"},
        {32774, "Referencia rápida de la cuenta Tessaline(TM)"},
        {32776, "Agregar cuenta nueva al área de trabajo\nNueva cuenta de correo"},
        {32777, "Cambiar configuración del usuario actual\nCambiar usuario"},
        {32780, "Acerca del conducto Tessaline(TM)\nAcerca del conducto Tessaline(TM)"},
        {32781, "Referencia rápida de la cuenta\nReferencia rápida de la cuenta"},
        {32782, "Nombre de cuenta"},
        {32783, "Activa"},
        {32785, "Sí"},
        {32787, "No"},
        {32789, "Desconocido"},
        {32791, "Última sincronización"},
        {32790, "Tessaline en el Web...\nTessaline en el Web..."},
        {32792, "Eliminar la cuenta del área de trabajo\nEliminar cuenta"},
        {57665, "Salir de la aplicación\nSalir de la aplicación"},
        {57666, "Configuración de Tessaline para el usuario %s"},
        {57667, "Cuentas disponibles: %d"},
        {57668, "Cuentas configuradas: %d"},
        {57669, "Cuentas activas: %d"},
        {57670,
         "Cambiar la preferencia del servidor de entrada para esta cuenta\nhará que todos los mensajes de correo "
         "electrónico almacenados en dicha cuenta\n"},
        {57671, "se eliminen en la próxima sincronización Tallyhop.\n\n¿Desea continuar?"},
        {57672, "Carpeta del servidor"},
        {57673, "Sincronizar"},
        {57674, "Opciones de sincronización de carpetas"},
        {57675, "Todavía no se conocen las carpetas de esta cuenta. "},
        {57676, "Advertencia de carpetas"},
        {57677, "Opciones de sincronización de carpetas..."},
        {57678, "Actualizar la lista"},
        {57679,
         "No se puede activar la carpeta '%s' porque se ha alcanzado el límite de %d\rcarpetas del dispositivo."},
        {57680, "Realice una sincronización Tallyhop antes de elegir las carpetas."},
        {57681, "No se puede establecer contacto con el servidor. La lista de carpetas no se verá alterada."},
        {57682, "Los valores encontrados en los formularios %s e %s se utilizan para comunicarse con sus servidores "},
        {57683,
         "de correo a través del cliente Tessaline en la computadora de mano Corvid y/o en el conducto de "
         "escritorio. "},
        {57684,
         "Los cambios realizados en estos valores con el conducto de escritorio tienen prioridad sobre los cambios "
         "realizados en "},
        {57699, "Sincronizar con el archivo de correo local (replicado)."},
        {57685, "la computadora de mano Corvid y se actualizarán en la próxima sincronización Tallyhop."},
        {57686, "Esta cuenta está activa:"},
        {57687, "Esta cuenta se ha sincronizado:"},
        {57688, "Esta cuenta se sincronizó por última vez:"},
        {57689, "Esta cuenta utiliza el cliente de correo de escritorio:"},
        {57690,
         "El cliente de correo de escritorio para esta cuenta ha cambiado desde la última sincronización Tallyhop:"},
        {57691,
         "El servidor de correo entrante para esta cuenta ha cambiado en el escritorio de Windows desde la última "
         "sincronización Tallyhop."},
        {57692, "Protocolo de servidor:"},
        {57693, "Nombre visible:"},
        {57694, "Dirección de correo electrónico:"},
        {57695, "Dirección del servidor de correo entrante:"},
        {57696, "El servidor de correo entrante requiere APOP:"},
        {57697, "Dirección del servidor de correo saliente:"},
        {57698, "El servidor de correo saliente requiere ESMTP:"},
        {57700, "Descripción de la cuenta:"},
        {57701, "Descripción de los valores de la computadora de mano:"},
    };
    auto it = kTable.find(id);
    return it == kTable.end() ? std::string() : it->second;
}

}  // namespace tess::config
