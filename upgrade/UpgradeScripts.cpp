#include "upgrade/UpgradeScripts.h"

#include "script/ScriptRunner.h"

namespace abd {

QStringList ConfigurarColumnOrder() {
    return {"ID",         "CODIGO",           "LICENCA",          "NOME_BANCA",
            "CONTATO",    "ENDERECO",         "NUMERO",           "COMPLEMENTO",
            "BAIRRO",     "CIDADE",           "UF",               "CEP",
            "FONE1",      "FONE2",            "FONE3",            "CNPJ",
            "IE",         "EMAIL",            "SITE",             "SERVIDOR_SMTP",
            "LOGIN",      "SENHA",            "PORTA",            "SSL",
            "MENSAGEM1",  "MENSAGEM2",        "MENSAGEM3",        "MENSAGEM4",
            "PASTA_BACKUP", "PASTA_DOCUMENTOS", "PASTA_CAPA",     "FECHAR_NOTA",
            "FECHAR_CE",  "DICAS",            "EXPURGO",          "ETIQUETA_MARGEM_ESQUERDA",
            "ETIQUETA_MARGEM_DIREITA", "ETIQUETA_MARGEM_SUPERIOR", "ETIQUETA_MARGEM_INFERIOR", "ETIQUETA_LARGURA",
            "ETIQUETA_ALTURA", "ETIQUETA_ESPACO", "ETIQUETA_FONTE", "VERSAO_BANCO_DADOS"};
}

QStringList UpgradeScript(int version) {
    switch (version) {
    case 2:
        return {"SET TERM ^ ;",
                "",
                "ALTER TRIGGER TR_CLIENTE_SALDO_DELETE",
                "AS",
                "DECLARE VARIABLE C_EXPURGO CHAR(1);",
                "DECLARE VARIABLE C_CREDITO_DEBITO CHAR(1);",
                "BEGIN",
                "  SELECT EXPURGO",
                "  FROM CONFIGURAR",
                "  WHERE ID = 1",
                "  INTO :C_EXPURGO;",
                "",
                "  IF (C_EXPURGO = 'N') THEN",
                "  BEGIN",
                "    IF ((OLD.HISTORICO_ID < 8) AND (OLD.EDICAO_ID IS NULL)) THEN",
                "    BEGIN",
                "      UPDATE CLIENTE",
                "      SET SALDO = SALDO - OLD.VALOR * OLD.QUANTIDADE",
                "      WHERE ID = OLD.CLIENTE_ID;",
                "    END",
                "    ELSE IF (OLD.HISTORICO_ID > 7) THEN",
                "    BEGIN",
                "      SELECT CREDITO_DEBITO ",
                "      FROM HISTORICO",
                "      WHERE ID = OLD.HISTORICO_ID",
                "      INTO :C_CREDITO_DEBITO;",
                "",
                "      IF (C_CREDITO_DEBITO = 'C') THEN",
                "      BEGIN",
                "        UPDATE CLIENTE",
                "        SET SALDO = SALDO - OLD.VALOR * OLD.QUANTIDADE",
                "        WHERE ID = OLD.CLIENTE_ID;",
                "      END",
                "      ELSE",
                "      BEGIN",
                "        UPDATE CLIENTE",
                "        SET SALDO = SALDO + OLD.VALOR * OLD.QUANTIDADE",
                "        WHERE ID = OLD.CLIENTE_ID;",
                "      END",
                "    END",
                "  END",
                "END",
                "^",
                "",
                "SET TERM ; ^",
                "",
                "UPDATE CONFIGURAR",
                "SET VERSAO_BANCO_DADOS = 2",
                "WHERE ID = 1;"};
    case 3:
        return {"ALTER TRIGGER TR_HISTORICO_UPDATE_DELETE INACTIVE;",
                "ALTER TRIGGER TR_CREDITO_DEBITO_UPDATE INACTIVE;",
                "",
                "UPDATE CONFIGURAR",
                "SET EXPURGO = 'S', VERSAO_BANCO_DADOS = 3",
                "WHERE ID = 1;"};
    case 4:
        return {"DELETE FROM MOVIMENTO WHERE HISTORICO_ID = 11;",
                "",
                "UPDATE HISTORICO ",
                "SET CREDITO_DEBITO = 'C'",
                "WHERE ID = 11;",
                "",
                "ALTER TRIGGER TR_HISTORICO_UPDATE_DELETE ACTIVE;",
                "ALTER TRIGGER TR_CREDITO_DEBITO_UPDATE ACTIVE;",
                "",
                "UPDATE CONFIGURAR",
                "SET EXPURGO = 'N', VERSAO_BANCO_DADOS = 4",
                "WHERE ID = 1;"};
    case 5: {
        QStringList lines{"CREATE DOMAIN DM_CHAR_01 AS CHAR;",
                          "",
                          "ALTER TABLE CONFIGURAR ADD PORTA DM_INTEGER_MAIOR_IGUAL_ZERO;",
                          "",
                          "ALTER TABLE CONFIGURAR ADD SSL DM_CHAR_01;",
                          "",
                          "CREATE INDEX IN_EDICAO_CODIGO_BARRAS ON EDICAO(CODIGO_BARRAS);",
                          ""};
        const QStringList columns = ConfigurarColumnOrder();
        for (int i = 0; i < columns.size(); ++i) {
            lines << QStringLiteral("ALTER TABLE CONFIGURAR ALTER COLUMN %1 POSITION %2;").arg(columns[i]).arg(i + 1);
            lines << QString();
        }
        lines << QString() << "UPDATE CONFIGURAR" << "SET VERSAO_BANCO_DADOS = 5" << "WHERE ID = 1;";
        return lines;
    }
    default: return {};
    }
}

ConnectionSettings StoredConnectionSettings() {
    return ConnectionSettings({"Database=lortu", "User_Name=SYSDBA", "Password=pomelarix", "CharacterSet=WIN1252",
                               "Protocol=TCPIP", "Port=3050", "DriverID=FB", "Server=" + kLocalServer,
                               "PageSize=8192", "CharLenMode=Chars"});
}

void ConfigureUpgradeScript(ScriptRunner& runner, int version) {
    runner.SQLScripts = {{QString(), UpgradeScript(version)}};
    runner.Options = ScriptOptions();
    runner.Options.BreakOnError = version == 5;
}

} // namespace abd
